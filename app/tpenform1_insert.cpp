// Inserting a picture from an image file.

#include "app/tpenform1.h"

#include "app/filedialogs.h"
#include "app/messages.h"
#include "document/picturefile.h"
#include "document/richedit.h"

#include <QFileInfo>

void TPenForm1::EditInsertPictureExecute()
{
    FileDialogs::Request request;
    request.filter = Messages::text(Messages::PictureFilter);
    request.filterIndex = PictureDialog.filterIndex;
    request.fileName = PictureDialog.fileName;
    if (!CurrentFileName.isEmpty())
        request.directory = QFileInfo(CurrentFileName).absolutePath();
    const std::optional<FileDialogs::Choice> choice = FileDialogs::run(this, request);
    if (!choice)
        return;
    PictureDialog.fileName = choice->fileName;
    PictureDialog.filterIndex = choice->filterIndex;
    // A picture wider than the page's text would be cut at its edge: it is shown to fit across.
    const Picture picture = PictureFile::fittedToWidth(PictureFile::read(choice->fileName),
                                                       RichEdit1->richDocument().pageSetup().textWidthTwips());
    RichEdit1->insertPictureAtCaret(picture);
    RichEdit1->setFocus();
}
