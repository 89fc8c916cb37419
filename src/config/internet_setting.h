#pragma once

#include "config/conf_file.h"

#include <string>
#include <string_view>

// Where the user publishes public key files: the FTP location and account a new public key file
// is uploaded with, and the web URL others download it from. Kept in "inet.conf" as five lines in
// this order, each ending with CR LF:
//
//   FTP=<FTP location>
//   USER=<FTP user name>
//   PASSWORD=<base64 of the password's protected block (protected_text.h)>
//   ANONYMOUS=<1 to log in anonymously, else 0>
//   URL=<web URL of the published public key file>
//
// The password is plain text in memory only. The file is private to the user (0600): a load
// narrows a wider mode, and every save replaces the file with a new 0600 one.
//
// Loading never fails on content: keys may come in any order, a repeated key takes its later
// value, a missing one keeps its default (empty, or not anonymous), and a password that cannot be
// decoded or decrypted (another computer, a changed adapter, a hand-edited value) loads as empty.
class CInternetSetting : public CConfFile {
public:
    CInternetSetting() : CConfFile("inet.conf") {}

    const std::string& GetFtp() const { return m_pszFtp; }
    const std::string& GetUser() const { return m_pszUser; }
    const std::string& GetPassword() const { return m_pszPassword; }
    bool IsAnonymous() const { return m_bAnonymous; }
    const std::string& GetUrl() const { return m_pszUrl; }

    // The object stores whatever it is given; checking the texts is the caller's business.
    void SetFtp(std::string ftp) { m_pszFtp = std::move(ftp); }
    void SetUser(std::string user) { m_pszUser = std::move(user); }
    void SetPassword(std::string password) { m_pszPassword = std::move(password); }
    void SetAnonymous(bool anonymous) { m_bAnonymous = anonymous; }
    void SetUrl(std::string url) { m_pszUrl = std::move(url); }

    // Writes the five lines, the password in a fresh protected form (even an empty one, so the
    // line changes with every save). False, leaving the file as it was, when the password cannot
    // be protected, when a value holds a line break (it would turn into lines of its own on the
    // next load) or when the file cannot be written.
    [[nodiscard]] bool Save() override;

protected:
    void BeginLoad() override;
    bool ParseLine(std::string_view line) override;

private:
    // Takes the value of a "PASSWORD=" line when it is a protected block for this computer.
    void LoadPassword(std::string_view value);

    std::string m_pszFtp;
    std::string m_pszUser;
    std::string m_pszPassword;
    bool m_bAnonymous = false;
    std::string m_pszUrl;
};
