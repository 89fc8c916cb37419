#pragma once

#include <memory>
#include <string>
#include <vector>

// A fresh folder under the system temp folder, removed with everything in it at the end of the
// test. It also serves as the program's temp folder (g_szTempFolder) while it lives, so
// temporary files of the code under test land in it and a test can see any left behind.
class CScratchFolder {
public:
    // Made in parent; by default the system's temp folder ($TMPDIR, else /tmp).
    explicit CScratchFolder(const std::string& parent = SystemTempFolder());
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    static std::string SystemTempFolder();

    const std::string& Path() const { return m_path; }
    // Path() + "/" + name.
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // The folder given to the program as its temp folder: Path() + "/temp/".
    std::string TempFolder() const { return m_path + "/temp/"; }
    // Number of files now in TempFolder().
    int CountTempFiles() const;

private:
    std::string m_path;
    std::string m_previousTempFolder;
};

// A scratch folder on another file system than near (a tmpfs), which becomes the program's temp
// folder while it lives; null when there is none to be had.
std::unique_ptr<CScratchFolder> ScratchOnAnotherFileSystem(const CScratchFolder& near);

// Names in a folder, sorted, without "." and "..".
std::vector<std::string> EntriesOf(const std::string& folder);
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
bool PathExists(const std::string& path);
// Permission bits of what stands at path (links followed); 0 when nothing does.
unsigned ModeOf(const std::string& path);
