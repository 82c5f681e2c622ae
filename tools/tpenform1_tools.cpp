// The tools: find and replace, dates, file association, mail, About and Help.

#include "app/tpenform1.h"

void TPenForm1::Button3Click()
{
    // Filled by the date-insertion feature.
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
