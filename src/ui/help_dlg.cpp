#include "ui/help_dlg.h"

#include "ui/strings.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

const char* const kHelpText = R"(
<h3>Publish your public key</h3>
<p>Open <b>Internet Settings...</b> from the menu and enter the FTP location, account and password
of your web space and the web address (URL) at which files uploaded there can be downloaded. Then
open <b>Key Management...</b> and press <b>Create</b>: Pellmar-Gate makes a new key pair, uploads
its public key file to your web space and downloads it again from the URL to check that others can
fetch it. Tell the people who send you files that URL.</p>
<h3>Add a destination</h3>
<p>A destination is someone you encrypt files for: a name and the URL of that person's published
public key file. Press <b>Add...</b>, enter both and press OK; Pellmar-Gate tries to fetch the key
to check the URL. <b>Modify...</b>, <b>Delete</b>, <b>Upper</b> and <b>Lower</b> change and order
the list.</p>
<h3>Encrypt a file</h3>
<p>Select the destination and press <b>Encrypt...</b>. Pellmar-Gate downloads the destination's
public key, asks for the file to encrypt and for the name of the encrypted file (.enp), which only
the destination's key pair can open. Send that file.</p>
<h3>Decrypt a file</h3>
<p>Choose <b>Decrypt...</b> from the menu, or drop the .enp file on the main window. When one of
your own key pairs can open it, Pellmar-Gate asks where to save the file and gives it back under
its original name and with its original modification time.</p>
)";

} // namespace

CHelpDlg::CHelpDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(LoadString(kIdsCaption));
    auto* text = new QTextBrowser(this);
    text->setHtml(QString::fromUtf8(kHelpText));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
    resize(520, 440);
}
