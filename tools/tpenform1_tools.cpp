// The tools: find and replace, dates, file association, mail, About and Help.

#include "app/tpenform1.h"

#include "tools/tform4.h"

void TPenForm1::createToolForms()
{
    if (!Form4)
        Form4 = new TForm4(RichEdit1, this);
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
    // Filled by the file-association feature.
}

void TPenForm1::OptionSendMailExecute()
{
    // Filled by the mail feature.
}

void TPenForm1::ActAboutExecute()
{
    // Filled by the About feature.
}

void TPenForm1::ActHelpExecute()
{
    // Filled by the help feature.
}
