// The formatting commands and the clipboard and undo commands.

#include "app/tpenform1.h"

#include "document/richedit.h"

void TPenForm1::ComboBox1Click()
{
    // Filled by the formatting feature.
}

void TPenForm1::UpDown1Click()
{
    // Filled by the formatting feature.
}

void TPenForm1::EditBoldExecute()
{
    // Filled by the formatting feature.
}

void TPenForm1::EditItaricExecute()
{
    // Filled by the formatting feature.
}

void TPenForm1::EditUnderlineExecute()
{
    // Filled by the formatting feature.
}

void TPenForm1::ParaSet()
{
    // Filled by the formatting feature.
}

void TPenForm1::EditBulletExecute()
{
    // Filled by the formatting feature.
}

void TPenForm1::OptionCharColorExecute()
{
    // Filled by the formatting feature.
}

void TPenForm1::OptionBackColorExecute()
{
    // Filled by the formatting feature.
}

void TPenForm1::EditFontExecute()
{
    // Filled by the formatting feature.
}

void TPenForm1::EditCutExecute()
{
    // Two operations, not one cut: copy, then delete the selection.
    RichEdit1->copy();
    RichEdit1->deleteSelection();
}

void TPenForm1::EditCopyExecute()
{
    RichEdit1->copy();
}

void TPenForm1::EditPasteExecute()
{
    RichEdit1->paste();
}

void TPenForm1::EditSelectAllExecute()
{
    RichEdit1->setSelection(0, -1);
}

void TPenForm1::EditUndoExecute()
{
    if (RichEdit1)
        RichEdit1->undo();
}
