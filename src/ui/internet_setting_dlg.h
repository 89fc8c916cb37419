#pragma once

#include "ui/template_dialog.h"

#include <string>

// The internet settings (template 130): where new public key files are uploaded by FTP, the FTP
// account, and the web URL they can be fetched from. The fields open with the repository's
// settings; OK checks the form of the two locations, stores all five values and writes inet.conf
// at once. Cancel stores nothing.
//
// The five values are independent: Anonymous neither clears nor disables the account fields, and
// everything is stored as entered.
class CInternetSettingDlg : public CTemplateDialog {
    Q_OBJECT

public:
    explicit CInternetSettingDlg(QWidget* parent);

    std::string m_strFtp;
    std::string m_strUserName;
    std::string m_strPassword;
    bool m_bAnonymous = false;
    std::string m_strUrl;

protected:
    void OnInitDialog() override;
    void OnOK() override;

private:
    void ShowMembers();
    void ReadControls();
    // Shows the error, then moves the focus to the field and selects its text.
    void RefuseField(int messageId, int fieldId);
};
