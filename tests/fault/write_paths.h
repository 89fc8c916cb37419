#pragma once

#include "util/temp_file.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One way the program creates or replaces a file of the user's, set up in a folder of its own so
// a test can stage a fault around the write and judge what the write left behind.
class CWritePath {
public:
    virtual ~CWritePath() = default;

    // Makes the write's inputs under root (an existing, empty folder) and, for a write that
    // replaces a file, the old file. Throws when that fails.
    virtual void Stage(const std::string& root) = 0;
    // The file the write creates or replaces; its folder holds nothing else.
    virtual std::string Destination() const = 0;
    // Who may read the new file: a private one holds secrets, a shared one is passed on.
    virtual EFileAccess Access() const { return EFileAccess::Private; }
    // Writes the new file. atHook runs once the inputs are read and before the destination is
    // touched: inside DecryptFile's question for the output name, which comes after the key
    // block is unwrapped; right before the call everywhere else.
    virtual bool Write(const std::function<void()>& atHook) = 0;
    // True when the destination holds the whole new file, judged the way the program reads it.
    virtual bool HoldsNewFile() const = 0;
};

struct SWritePathKind {
    const char* m_name;
    std::unique_ptr<CWritePath> (*m_make)();
};

// Every write path that creates or replaces a user's file.
const std::vector<SWritePathKind>& AllWritePaths();
