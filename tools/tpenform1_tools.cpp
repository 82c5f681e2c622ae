// The tools: find and replace, dates, file association, mail, About and Help.

#include "app/tpenform1.h"

#include "app/messagebox.h"
#include "app/messages.h"
#include "document/richdocument.h"
#include "document/richedit.h"
#include "tools/helpviewer.h"
#include "tools/mail.h"
#include "tools/tform4.h"
#include "tools/tform5.h"

#include <QApplication>

void TPenForm1::createToolForms()
{
    if (!Form4)
        Form4 = new TForm4(RichEdit1, this);
    if (!Form5)
        Form5 = new TForm5(RichEdit1, this);
}

void TPenForm1::Button3Click()
{
    createToolForms();
    Form4->setEnabled(true);
    Form4->show();
    Form4->raise();
    Form4->activateWindow();
    // Today again, even when the dialog was open already; the count stays.
    Form4->FormCreate();
}

void TPenForm1::ActAssocExecute()
{
    createToolForms();
    Form5->setEnabled(true);
    Form5->show();
    Form5->raise();
    Form5->activateWindow();
    Form5->FormCreate();
}

void TPenForm1::OptionSendMailExecute()
{
    RichEdit1->richDocument().finishLoading(); // the whole text, not the part shown so far
    const QString body = MailSender::bodyOf(*RichEdit1->richDocument().document());
    if (MailSender::instance().send(body))
        return;
    MessageBox::Request box;
    box.icon = QMessageBox::Critical;
    box.caption = Messages::text(Messages::ErrorCaption);
    box.text = Messages::text(Messages::MailFailed);
    MessageBox::show(this, box);
}

void TPenForm1::ActAboutExecute()
{
    MessageBox::Request box;
    box.caption = Messages::text(Messages::AboutCaption);
    box.text = Messages::aboutText().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box.iconPixmap = windowIcon().pixmap(48, 48);
    MessageBox::show(this, box);
}

void TPenForm1::ActHelpExecute()
{
    // The guide's contents; a missing file is the viewer's to report.
    if (!m_helpViewer)
        m_helpViewer = new HelpViewer(this);
    m_helpViewer->showFile(qApp->property("helpFile").toString());
}
