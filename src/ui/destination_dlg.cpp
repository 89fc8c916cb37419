#include "ui/destination_dlg.h"

#include "app/repository.h"
#include "net/url.h"
#include "ui/message_box.h"
#include "ui/published_key.h"
#include "ui/strings.h"

#include <QLineEdit>

CDestinationDlg::CDestinationDlg(QWidget* parent) : CTemplateDialog(kDestinationTemplate, parent) {}

void CDestinationDlg::OnInitDialog()
{
    int caption = kIdsModifyDestination;
    if (!m_pDestination) {
        caption = kIdsCreateDestination;
        m_pDestination = std::make_unique<CDestination>();
        if (!m_strUrl.empty()) {
            m_pDestination->SetUrl(m_strUrl);
            Field(kIdDestinationUrl).setReadOnly(true);
        }
    }
    setWindowTitle(LoadString(caption));
    m_strName = m_pDestination->GetName();
    m_strUrl = m_pDestination->GetUrl();
    Field(kIdDestinationName).setText(QString::fromStdString(m_strName));
    Field(kIdDestinationUrl).setText(QString::fromStdString(m_strUrl));
}

void CDestinationDlg::OnOK()
{
    m_strName = Field(kIdDestinationName).text().toStdString();
    m_strUrl = Field(kIdDestinationUrl).text().toStdString();
    // The caller gets what was entered, whatever the checks say.
    m_pDestination->SetName(m_strName);
    m_pDestination->SetUrl(m_strUrl);

    const std::optional<SFailedCheck> failed = FirstFailedCheck();
    if (!failed) {
        accept();
        return;
    }
    if (!failed->m_bOverridable) {
        MessageBoxError(this, failed->m_nMessageId);
        FocusField(failed->m_nFieldId);
        return;
    }
    if (MessageBoxQuestion(this, failed->m_nMessageId)) {
        accept();
        return;
    }
    FocusField(failed->m_nFieldId);
}

std::optional<CDestinationDlg::SFailedCheck> CDestinationDlg::FirstFailedCheck() const
{
    // The repository lives as long as the main window, which every caller of this dialog has.
    const CDestinationList& destinations = *GetRepository()->m_pDestinationList;
    if (m_strName.empty())
        return SFailedCheck {kIdsSetName, kIdDestinationName, false};
    if (destinations.IsNameUsed(*m_pDestination, m_nIndex))
        return SFailedCheck {kIdsNameUsed, kIdDestinationName, false};
    if (!IsHttpUrl(m_strUrl))
        return SFailedCheck {kIdsUrlWrong, kIdDestinationUrl, false};
    if (destinations.IsUrlUsed(m_strUrl, m_nIndex))
        return SFailedCheck {kIdsUrlUsed, kIdDestinationUrl, false};
    // The download is gone by the time the answer is looked at.
    const SPublishedKey published = FetchPublishedKey(m_strUrl);
    if (!published.m_bReached)
        return SFailedCheck {kIdsUrlUnreachable, kIdDestinationUrl, true};
    if (!published.m_pKey)
        return SFailedCheck {kIdsNotPublicKey, kIdDestinationUrl, true};
    return std::nullopt;
}
