#pragma once

// Sets up libcurl (and through it the TLS library) for the life of the object and tears it down
// afterwards. Each program holds one in main() for its whole run, before any transfer and before
// any second thread starts; test programs hold one for theirs. Objects may nest: the library is
// set up by the first and torn down with the last.
//
// A transfer made without one still works (libcurl then sets itself up on first use), but nothing
// would release what it set up, and that shows as leaks in the sanitizer builds.
class CCurlLibrary {
public:
    CCurlLibrary();
    ~CCurlLibrary();
    CCurlLibrary(const CCurlLibrary&) = delete;
    CCurlLibrary& operator=(const CCurlLibrary&) = delete;

    [[nodiscard]] bool IsReady() const { return m_bReady; }

private:
    bool m_bReady = false;
};
