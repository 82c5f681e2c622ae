// The print commands: preview, printer setup and direct print.

#include "app/tpenform1.h"

void TPenForm1::FilePureviewExecute()
{
    // Filled by the print-preview feature.
}

void TPenForm1::FilePrintSetExecute()
{
    // Filled by the printing feature.
}

void TPenForm1::FilePrintExecute()
{
    // Filled by the printing feature.
}
