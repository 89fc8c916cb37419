#pragma once

#include "util/unique_fd.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

// Who may read a file once it is in place. Temporary files are always private; a file meant to be
// passed on (a container, a public key file) gets the permissions the user's umask gives new files.
enum class EFileAccess { Private, Shared };

// Every file the program writes is first written to a temporary file in the temp folder and only
// then moved to its place in one step, so a destination holds either its old or its new content.
//
// A CTempFile is such a file, open for writing, mode 0600 (it may hold plaintext or keys). Unless
// it is moved to its destination, it is deleted when it goes out of scope.
class CTempFile {
public:
    CTempFile() = default;
    CTempFile(std::string path, CUniqueFd fd) : m_path(std::move(path)), m_fd(std::move(fd)) {}
    CTempFile(CTempFile&& other) noexcept
        : m_path(std::exchange(other.m_path, {})), m_fd(std::move(other.m_fd)),
          m_nWritten(std::exchange(other.m_nWritten, 0)),
          m_nWrittenBack(std::exchange(other.m_nWrittenBack, 0))
    {
    }
    CTempFile& operator=(CTempFile&& other) noexcept;
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;
    ~CTempFile();

    explicit operator bool() const { return !m_path.empty(); }
    const std::string& GetPath() const { return m_path; }
    int GetFd() const { return m_fd.Get(); }

    // Appends bytes. Every few MiB the disk is told to start taking what was written so far, so
    // that Finish does not wait for a big file's pages all at once.
    [[nodiscard]] bool Write(std::string_view bytes) const;

    // Sets the file's permissions for where it goes, flushes the content to the disk and closes
    // the file; false if any of it failed.
    [[nodiscard]] bool Finish(EFileAccess access = EFileAccess::Private);
    // Closes the file and forgets its name without deleting it.
    void Release();

private:
    std::string m_path;
    CUniqueFd m_fd;
    // Bytes appended by Write, and how many of them were sent on to the disk.
    mutable std::uint64_t m_nWritten = 0;
    mutable std::uint64_t m_nWrittenBack = 0;
};

// Makes a new, empty temporary file "tmpXXXXXX" in g_szTempFolder. An empty CTempFile on failure.
CTempFile NewTempFile();

// Makes a new, empty temporary file for content that is to replace or create destPath, placed so
// that ReplaceFromTempFile or CopyTempFileTo can later move it there in one rename, without a copy:
// in g_szTempFolder ("tmpXXXXXX") when that lies on destPath's file system, else beside destPath
// as a hidden ".tmpXXXXXX". When the file cannot be made beside destPath, it stays in the temp
// folder and the move copies it. An empty CTempFile when the temp folder takes no file.
CTempFile NewTempFileFor(const std::string& destPath);

// Appends the whole content of the file at fromPath to the temporary file.
[[nodiscard]] bool AppendFileContent(const std::string& fromPath, const CTempFile& to);

// Deletes what killed processes left in g_szTempFolder: temporary files that no live process
// holds and nothing wrote for ten minutes. A killed decryption leaves plaintext there.
void RemoveStaleTempFiles();

// Closes and deletes the temporary file.
void DiscardTempFile(CTempFile& file);

// Replaces (or creates) destPath with the temporary file's content in one step. On failure the
// destination is as it was and the temporary file is deleted all the same.
[[nodiscard]] bool ReplaceFromTempFile(CTempFile& file, const std::string& destPath,
                                       EFileAccess access = EFileAccess::Private);

// Creates destPath from the temporary file; fails, changing nothing, when destPath exists.
// The temporary file is gone afterwards in either case.
[[nodiscard]] bool CopyTempFileTo(CTempFile& file, const std::string& destPath,
                                  EFileAccess access = EFileAccess::Private);
