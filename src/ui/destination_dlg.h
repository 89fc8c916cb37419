#pragma once

#include "config/destination_list.h"
#include "ui/template_dialog.h"

#include <memory>
#include <optional>
#include <string>

// One destination's name and URL (template 110), for adding or modifying it.
//
// Modes, fixed by what the caller sets before exec():
//   add                nothing                        caption "Create new destination."
//   add, URL preset    m_strUrl                       the URL field is read-only
//   modify             m_pDestination (a copy of      caption "Modify the destination."
//                      entry i) and m_nIndex = i
// After the run the caller takes m_pDestination over (in add mode the dialog made it) and puts it
// into the list or lets it go.
//
// OK accepts only a destination whose name and URL are set and used by no other destination, and
// fetches a public key from the URL first; when none can be fetched or read, the user decides.
class CDestinationDlg : public CTemplateDialog {
    Q_OBJECT

public:
    explicit CDestinationDlg(QWidget* parent);

    std::string m_strName;
    std::string m_strUrl;
    std::unique_ptr<CDestination> m_pDestination;
    int m_nIndex = -1;

protected:
    void OnInitDialog() override;
    void OnOK() override;

private:
    // A check OK failed: its message, the field it concerns, and whether the user may override it.
    struct SFailedCheck {
        int m_nMessageId;
        int m_nFieldId;
        bool m_bOverridable;
    };

    // The first check the entered destination fails, in order: name set, name unused, URL is
    // http(s), URL unused, a key can be fetched, it is a public key. Nothing when all pass.
    std::optional<SFailedCheck> FirstFailedCheck() const;
};
