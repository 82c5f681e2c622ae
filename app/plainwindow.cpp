#include "plainwindow.h"

#include "app/apperror.h"
#include "app/messages.h"
#include "document/richedit.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QVBoxLayout>

PlainWindow::PlainWindow(QWidget *parent)
    : QWidget(parent)
    , m_editor(new RichEdit(this))
{
    setWindowTitle(Messages::text(Messages::NewDocumentTitle));
    resize(637, 480);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_editor);

    // The editor's own font: "ＭＳ ゴシック", a character height of 15 pixels (11.25 points).
    QFont font(QString::fromUtf16(u"ＭＳ ゴシック"));
    font.setPixelSize(15);
    m_editor->setFont(font);
    CharFormat initial;
    initial.mask = CharFormat::AllFields;
    initial.faceName = font.family();
    initial.sizeTwips = 225;
    initial.charSet = 128;
    m_editor->setCharFormat(initial, RichEdit::FormatTarget::Default);
    m_editor->setCharFormat(initial);
    m_editor->setFocus();
}

bool PlainWindow::openFile(const QString &path)
{
    try {
        m_editor->setPlainTextMode(false);
        m_editor->loadFile(path);
        m_editor->setModified(false);
        setWindowTitle(Messages::text(Messages::TitlePrefix) + QFileInfo(path).fileName());
        return true;
    } catch (const AppError &e) {
        QMessageBox::critical(this, Messages::text(Messages::ProductName), e.text());
        return false;
    }
}
