// The document's life cycle on disk: new, open, save, save as and the close prompt.

#include "app/tpenform1.h"

void TPenForm1::ClearDocument()
{
    // Filled by the document-files feature.
}

void TPenForm1::OpenFile(const QString &)
{
    // Filled by the document-files feature.
}

void TPenForm1::FileNewExecute()
{
    // Filled by the document-files feature.
}

void TPenForm1::FileOpenExecute()
{
    // Filled by the document-files feature.
}

void TPenForm1::FileSaveExecute()
{
    // Filled by the document-files feature.
}

void TPenForm1::FileSaveAsExecute()
{
    // Filled by the document-files feature.
}

void TPenForm1::FormCloseQuery(bool &canClose)
{
    // The unsaved-changes prompt comes with the document-files feature.
    canClose = true;
}
