#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

// A local server for tests: a Python script from tests/servers, run by Debian's /usr/bin/python3
// (the one its modules, such as pyftpdlib, are installed for). The script listens on 127.0.0.1 on
// a port of the system's choosing and prints that port as the first line of its standard output.
//
// The server runs from construction until the object goes out of scope, when it is killed by its
// process id; it also dies with the test process should that end first.
class CLocalServer {
public:
    // Starts script (a file name in tests/servers) with arguments and waits for its port.
    // Throws std::runtime_error when the server does not come up.
    CLocalServer(const std::string& script, const std::vector<std::string>& arguments);
    ~CLocalServer();
    CLocalServer(const CLocalServer&) = delete;
    CLocalServer& operator=(const CLocalServer&) = delete;

    pid_t GetPid() const { return m_pid; }
    int GetPort() const { return m_nPort; }
    // "127.0.0.1:<port>", for URLs.
    std::string GetAddress() const;

private:
    void Stop();

    pid_t m_pid = -1;
    int m_nPort = 0;
};

// What a server's log file gained since the object was made. The test servers write each entry
// before they answer, so once a client has its answer the entry is there.
class CLogWatch {
public:
    explicit CLogWatch(std::string path);
    std::string NewText() const;

private:
    std::string m_path;
    std::size_t m_nStart;
};
