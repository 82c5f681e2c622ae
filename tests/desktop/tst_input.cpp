// Japanese typed through the session's input method (ibus with mozc, in hiragana): romaji in,
// the reading shown while it is composed, converted, committed into the editor; and where the
// input method is on and where it is off.

#include "desktop.h"

#include "app/statustext.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "tools/tform4.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

using namespace Qt::StringLiterals;

namespace {

// What the input method sends a widget: each preedit and commit, in order, and the reading
// it shows now.
class InputMethodRecorder : public QObject {
public:
    explicit InputMethodRecorder(QObject *watched) { watched->installEventFilter(this); }
    QStringList preedits;
    QStringList commits;
    QString preedit;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::InputMethod) {
            const auto *im = static_cast<QInputMethodEvent *>(event);
            preedit = im->preeditString();
            if (!im->preeditString().isEmpty())
                preedits += im->preeditString();
            if (!im->commitString().isEmpty())
                commits += im->commitString();
        }
        return false;
    }
};

// Whether a widget asks for the input method, as the platform asks it.
bool inputMethodEnabled(QWidget *widget)
{
    QInputMethodQueryEvent query(Qt::ImEnabled);
    QCoreApplication::sendEvent(widget, &query);
    return query.value(Qt::ImEnabled).toBool();
}

QString preeditOf(const RichEdit *editor)
{
    const QTextLayout *layout = editor->textCursor().block().layout();
    return layout ? layout->preeditAreaText() : QString();
}

// The share of the editor's area on the screen that is not white: text shown there.
double inkOnScreen(const QWidget *viewport)
{
    const QRect area(viewport->mapToGlobal(QPoint(0, 0)), viewport->size());
    const QImage screen = Desktop::grabScreen(area);
    int ink = 0;
    for (int y = 0; y < screen.height(); ++y) {
        for (int x = 0; x < screen.width(); ++x)
            ink += qGray(screen.pixel(x, y)) < 128;
    }
    return double(ink) / qMax(1, screen.width() * screen.height());
}

} // namespace

class tst_DesktopInput : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        if (QTest::currentTestFailed())
            Desktop::recordFailure();
    }
    void romajiIsComposedConvertedAndCommitted();
    void inputMethodOnInTheEditorAndFontBoxOffInTheCountBox();
};

void tst_DesktopInput::romajiIsComposedConvertedAndCommitted()
{
    Desktop::Session session;
    QVERIFY2(session.isActive(), qPrintable(Desktop::focusReport()));
    TPenForm1 &window = session.window();
    RichEdit *editor = window.RichEdit1;
    QVERIFY(Desktop::waitFor([&] { return QApplication::focusWidget() == editor; }));
    QVERIFY(inputMethodEnabled(editor));
    const double blank = inkOnScreen(editor->viewport());

    // The reading, composed: shown in the editor, not yet its text, not counted.
    Desktop::type(u"nihongo"_s);
    QVERIFY2(Desktop::waitFor([&] { return preeditOf(editor) == QString::fromUtf16(u"にほんご"); }),
             qPrintable(u"composing: \""_s + preeditOf(editor) + u"\""_s));
    QCOMPARE(editor->toPlainText(), QString());
    QCOMPARE(window.Memo1->text(), u"0"_s);
    QVERIFY(Desktop::waitFor([&] { return inkOnScreen(editor->viewport()) > blank; }));

    // Converted: still composing, still not counted.
    Desktop::key(u"space"_s);
    QVERIFY2(Desktop::waitFor([&] { return preeditOf(editor) == QString::fromUtf16(u"日本語"); }),
             qPrintable(u"converted: \""_s + preeditOf(editor) + u"\""_s));
    QCOMPARE(editor->toPlainText(), QString());
    QCOMPARE(window.Memo1->text(), u"0"_s);

    // Committed: the editor's text, counted: three characters, six bytes.
    Desktop::key(u"Return"_s);
    QVERIFY(Desktop::waitFor([&] { return editor->toPlainText() == QString::fromUtf16(u"日本語"); }));
    QVERIFY(preeditOf(editor).isEmpty());
    QCOMPARE(window.Memo1->text(), u"3"_s);
    QVERIFY(window.RichEdit1->isModified());

    // Typed fast, at the tool's own pace, with the conversion and the commit right behind.
    Desktop::keys({ u"n"_s, u"i"_s, u"h"_s, u"o"_s, u"n"_s, u"g"_s, u"o"_s, u"space"_s, u"Return"_s });
    QVERIFY2(Desktop::waitFor([&] { return editor->toPlainText() == QString::fromUtf16(u"日本語日本語"); }),
             qPrintable(editor->toPlainText()));
    QCOMPARE(window.Memo1->text(), u"6"_s);
}

void tst_DesktopInput::inputMethodOnInTheEditorAndFontBoxOffInTheCountBox()
{
    Desktop::Session session;
    QVERIFY2(session.isActive(), qPrintable(Desktop::focusReport()));
    TPenForm1 &window = session.window();

    // The font name box: romaji typed there reach the input method, which composes them.
    InputMethodRecorder fontBox(window.ComboBox1);
    window.ComboBox1->setFocus(Qt::MouseFocusReason);
    QVERIFY(Desktop::waitFor([&] { return QApplication::focusWidget() == window.ComboBox1; }));
    QVERIFY(inputMethodEnabled(window.ComboBox1));
    Desktop::type(u"ka"_s);
    QVERIFY2(Desktop::waitFor([&] { return fontBox.preedits.contains(QString::fromUtf16(u"か")); }),
             qPrintable(fontBox.preedits.join(u", "_s)));
    Desktop::key(u"Escape"_s); // the reading is dropped; nothing is chosen
    QVERIFY2(Desktop::waitFor([&] { return fontBox.preedit.isEmpty(); }), qPrintable(fontBox.preedit));

    // The date dialog's count box: digits typed there are the digits, no input method.
    QVERIFY(Desktop::activate(Desktop::windowId(&window)));
    QVERIFY(Desktop::clickOn(window.Button3));
    QVERIFY(Desktop::waitFor([&] { return window.Form4 && window.Form4->isVisible(); }));
    QComboBox *countBox = window.Form4->ComboBox1;
    QLineEdit *count = countBox->lineEdit();
    InputMethodRecorder boxEvents(countBox);
    InputMethodRecorder editEvents(count);
    QVERIFY(Desktop::activate(Desktop::windowId(window.Form4)));
    QVERIFY(Desktop::clickOn(count));
    QVERIFY(Desktop::waitFor([&] { return QApplication::focusWidget() == countBox || QApplication::focusWidget() == count; }));
    QVERIFY(!inputMethodEnabled(QApplication::focusWidget()));
    Desktop::keys({ u"ctrl+a"_s });
    Desktop::type(u"12"_s);
    // (The box completes "12" to the first count it offers that starts so.)
    QVERIFY2(Desktop::waitFor([&] { return count->text().left(count->cursorPosition()) == u"12"_s; }),
             qPrintable(count->text()));
    QVERIFY2(boxEvents.preedits.isEmpty() && editEvents.preedits.isEmpty() && boxEvents.commits.isEmpty()
                 && editEvents.commits.isEmpty(),
             qPrintable((boxEvents.preedits + editEvents.preedits).join(u", "_s)));
    window.Form4->close();
}

QObject *newDesktopInputTest()
{
    return new tst_DesktopInput;
}

#include "tst_input.moc"
