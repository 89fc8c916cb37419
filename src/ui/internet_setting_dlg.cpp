#include "ui/internet_setting_dlg.h"

#include "app/repository.h"
#include "net/url.h"
#include "ui/message_box.h"
#include "ui/strings.h"

#include <QCheckBox>
#include <QLineEdit>

namespace {

CInternetSetting& Settings()
{
    // The repository lives as long as the main window, which opens this dialog.
    return *GetRepository()->m_pInternetSetting;
}

} // namespace

CInternetSettingDlg::CInternetSettingDlg(QWidget* parent)
    : CTemplateDialog(kInternetSettingTemplate, parent)
{
}

void CInternetSettingDlg::OnInitDialog()
{
    const CInternetSetting& settings = Settings();
    m_strFtp = settings.GetFtp();
    m_strUserName = settings.GetUser();
    m_strPassword = settings.GetPassword();
    m_bAnonymous = settings.IsAnonymous();
    m_strUrl = settings.GetUrl();
    ShowMembers();
}

void CInternetSettingDlg::OnOK()
{
    ReadControls();
    // Only the first wrong location is reported; empty ones are fine.
    if (!m_strFtp.empty() && !m_strFtp.starts_with(kFtpScheme)) {
        RefuseField(kIdsFtpWrong, kIdFtpLocation);
        return;
    }
    if (!m_strUrl.empty() && !IsHttpUrl(m_strUrl)) {
        RefuseField(kIdsUrlWrong, kIdWebUrl);
        return;
    }
    CInternetSetting& settings = Settings();
    settings.SetFtp(m_strFtp);
    settings.SetUser(m_strUserName);
    settings.SetPassword(m_strPassword);
    settings.SetAnonymous(m_bAnonymous);
    settings.SetUrl(m_strUrl);
    // A failed write keeps the new values in memory; the user may try again or cancel.
    if (!settings.Save()) {
        MessageBoxError(this, kIdsInternetSettingsNotWritten);
        return;
    }
    accept();
}

void CInternetSettingDlg::ShowMembers()
{
    Field(kIdFtpLocation).setText(QString::fromStdString(m_strFtp));
    Field(kIdFtpUser).setText(QString::fromStdString(m_strUserName));
    Field(kIdFtpPassword).setText(QString::fromStdString(m_strPassword));
    Control<QCheckBox>(kIdAnonymous)->setChecked(m_bAnonymous);
    Field(kIdWebUrl).setText(QString::fromStdString(m_strUrl));
}

void CInternetSettingDlg::ReadControls()
{
    m_strFtp = Field(kIdFtpLocation).text().toStdString();
    m_strUserName = Field(kIdFtpUser).text().toStdString();
    m_strPassword = Field(kIdFtpPassword).text().toStdString();
    m_bAnonymous = Control<QCheckBox>(kIdAnonymous)->isChecked();
    m_strUrl = Field(kIdWebUrl).text().toStdString();
}

void CInternetSettingDlg::RefuseField(int messageId, int fieldId)
{
    MessageBoxError(this, messageId);
    FocusField(fieldId);
}
