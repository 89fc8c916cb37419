#pragma once

#include <string>
#include <string_view>

class C8riStringFile;

// A configuration file in the data folder: lines of KEY=value, written with CR LF. The file is
// read once by Load; afterwards the object is the truth and every change rewrites the whole file
// through a temporary file that replaces it in one step.
class CConfFile {
public:
    explicit CConfFile(std::string fileName) : m_szFileName(std::move(fileName)) {}
    virtual ~CConfFile() = default;
    CConfFile(const CConfFile&) = delete;
    CConfFile& operator=(const CConfFile&) = delete;

    // Reads folder/file name, creating it empty when it is missing (a folder standing in its
    // place is removed first). False when the file cannot be made or read, or when EndLoad fails.
    [[nodiscard]] bool Load(const std::string& folder);
    // Reads folder/file name as it stands, for tools that only look at the user's settings: a
    // missing file reads as empty, and nothing is ever created, mended or written (Save fails).
    [[nodiscard]] bool LoadReadOnly(const std::string& folder);

    [[nodiscard]] virtual bool Save() = 0;

    const std::string& GetPath() const { return m_szPath; }
    bool IsReadOnly() const { return m_bReadOnly; }

protected:
    // Takes one line while loading: true to go on reading, false to stop.
    virtual bool ParseLine(std::string_view line) = 0;
    virtual void BeginLoad() {}
    // Runs after the last line; its result is the result of Load.
    virtual bool EndLoad() { return true; }

    // Appends "KEY=value" CR LF to text. False, appending nothing, when value holds a line break:
    // written out, it would read back as lines of its own.
    [[nodiscard]] static bool WriteKeyValue(std::string& text, std::string_view key,
                                            std::string_view value);
    // Replaces the file with text. False, leaving the file as it was, when that fails.
    [[nodiscard]] bool WriteFile(std::string_view text) const;

    // True when line begins with key (keys are matched byte for byte at the start of a line).
    static bool HasKey(std::string_view line, std::string_view key)
    {
        return line.substr(0, key.size()) == key;
    }

private:
    void SetPathIn(const std::string& folder);
    // Passes the file's lines to ParseLine; the result of EndLoad, or false when reading failed.
    bool ReadLines(C8riStringFile& file);

    std::string m_szPath;
    const std::string m_szFileName;
    bool m_bReadOnly = false;
};
