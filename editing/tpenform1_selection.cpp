// Keeping the formatting controls, the status bar and the counter in step with the caret.

#include "app/tpenform1.h"

void TPenForm1::RichEdit1SelectionChange()
{
    // Filled by the selection-state feature.
}

void TPenForm1::UpdateCaretStatus()
{
    // Filled by the selection-state feature.
}

void TPenForm1::UpdateCharCount()
{
    // Filled by the selection-state feature.
}

void TPenForm1::RichEdit1Change()
{
    // Filled by the selection-state feature.
}

void TPenForm1::Memo1Click()
{
    // Filled by the selection-state feature.
}

void TPenForm1::Memo2Click()
{
    // Filled by the selection-state feature.
}

void TPenForm1::Memo1MouseDown()
{
    // Filled by the selection-state feature.
}

void TPenForm1::Memo2MouseDown()
{
    // Filled by the selection-state feature.
}

void TPenForm1::Edit1MouseDown()
{
    // Filled by the selection-state feature.
}
