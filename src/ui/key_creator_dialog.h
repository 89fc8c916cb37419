#pragma once

#include "ui/template_dialog.h"

#include <functional>
#include <string>

class CKeyManagerDlg;
class CKeyPair;
class CTempFile;

// Creates one key pair and publishes its public key (template 132). The fields open with the
// internet settings; what the user changes here serves this creation only.
//
// OK with a name runs the creation sequence: generate the pair, write its key pair file to the
// keys folder, upload the public key file by FTP when an FTP location is given, and fetch it back
// from the web URL and compare when a URL is given too. A status line and a progress bar follow
// the steps. A failed step shows its message and removes what the attempt made locally (the key
// pair file, the temporary public key file, the download); the dialog stays open for another try.
// On success the pair is added through the owning key management dialog, the user may register
// the web URL as a destination, and the dialog closes.
//
// Generation, upload and download run on a worker thread while the window keeps painting; the
// fields and buttons are disabled meanwhile, and neither Escape nor the close box ends the dialog.
class CKeyCreatorDialog : public CTemplateDialog {
    Q_OBJECT

public:
    // owner is the window beneath, and the one the new entry is added through.
    explicit CKeyCreatorDialog(CKeyManagerDlg& owner);

    std::string m_strName;
    std::string m_strFtp;
    std::string m_strUrl;
    std::string m_strUserId;
    std::string m_strPassword;
    bool m_bAnonymous = false;
    // The pair of the current attempt; the repository's key generator owns it.
    CKeyPair* m_pKeyPair = nullptr;

public slots:
    // Ignored while the creation sequence runs.
    void reject() override;

protected:
    void OnInitDialog() override;
    void OnOK() override;

private:
    // The creation sequence; true when all of it succeeded. Shows its own failure messages.
    bool CreateKeyPair();
    // The steps of the sequence, up to the first that fails: 0 when all succeeded, else the id of
    // the failure's message. The temporary files and whether the key pair file was written are
    // left for CreateKeyPair to clean up.
    int RunSequence(CTempFile& publicKeyFile, CTempFile& download, bool& keyFileWritten);
    // After success: offers to register the web URL as a destination when it is new.
    void OfferDestination();

    // Runs step on a worker thread and returns its result; the window keeps handling events (and
    // painting) until the step is done.
    bool RunBlocking(const std::function<bool()>& step);

    void ShowMembers();
    void ReadControls();
    // Enables or disables the eight fields and buttons, in their order.
    void EnableInput(bool enable);
    // Shown at once: nothing else would paint them while the sequence runs.
    void SetStatus(int id);
    void SetProgress(int position);

    CKeyManagerDlg& m_owner;
    // The creation sequence runs.
    bool m_bBusy = false;
    // The last attempt failed on the name, which gets the focus back.
    bool m_bFocusName = false;
};
