// The command table, the menus and the tool bar of the main window.
//
// Command, control and handler names follow the window's design letter for letter, spelling
// included (FilePureview, EditItaric, EditAlineLeft, AllSellect).

#include "app/tpenform1.h"

#include "document/apperror.h"
#include "app/commandicons.h"
#include "app/controls.h"
#include "app/messagebox.h"

#include <QAction>
#include <QActionGroup>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

struct TPenForm1::Command {
    enum Kind { Push, Check, Grouped };
    const char *name;
    const char16_t *category;
    const char16_t *caption;
    const char16_t *hint; // "short|long"; empty for none
    const char *shortcut; // several are separated by "; ", the first shown in menus
    int image; // -1: none
    void (TPenForm1::*handler)();
    Kind kind = Push;
};

namespace {

// The short part of a hint (before the first "|") and the long part (after it); a hint without
// "|" is both.
QString shortHint(const QString &hint)
{
    return hint.section(u'|', 0, 0);
}

QString longHint(const QString &hint)
{
    return hint.contains(u'|') ? hint.section(u'|', 1) : hint;
}

// An item of the Edit menu, or a tool button, whose enabled state is its own while the command
// behind it stays enabled everywhere else.
QAction *viewOf(QAction *command, QObject *parent)
{
    auto *view = new QAction(command->icon(), command->text(), parent);
    view->setObjectName(command->objectName());
    view->setToolTip(command->toolTip());
    view->setStatusTip(command->statusTip());
    // The menu shows the shortcut beside the text, and a screen reader reads the text alone;
    // the keys stay the command's, the view's own answer only while its menu has the keyboard.
    view->setShortcuts(command->shortcuts());
    view->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(view, &QAction::triggered, command, &QAction::trigger);
    return view;
}

} // namespace

const std::vector<TPenForm1::Command> &TPenForm1::commandTable()
{
    using F = TPenForm1;
    static const std::vector<Command> table = {
        { "FileNew", u"ファイル", u"新規作成(&N)", u"新規作成|新規文書を作成します。", "Ctrl+N", 0, &F::FileNewExecute },
        { "FileOpen", u"ファイル", u"開く(&O)", u"開く|ファイルを開きます。", "Ctrl+O", 1, &F::FileOpenExecute },
        { "FileSave", u"ファイル", u"保存(&S)", u"保存|この文書を保存します。", "Ctrl+S", 2, &F::FileSaveExecute },
        { "FileSaveAs", u"ファイル", u"名前を付けて保存", u"名前を付けて保存|この文書に名前を付けて保存します。", nullptr, -1,
          &F::FileSaveAsExecute },
        { "FilePureview", u"ファイル", u"* 印刷ぷーレビュー *", u"印刷プレビュー|印刷プレビュー画面を表示します。", nullptr, 3,
          &F::FilePureviewExecute },
        { "FilePrintSet", u"ファイル", u"プリンタ設定", u"印刷設定|プリンタの設定をします。", nullptr, -1, &F::FilePrintSetExecute },
        { "FilePrint", u"ファイル", u"印刷(&P)", u"印刷|この文書を印刷します。", "Ctrl+P", 4, &F::FilePrintExecute },
        { "FilePageSetup", u"ファイル", u"ページ設定...", u"ページ設定|用紙サイズ、印刷の向きと余白を設定します。", nullptr, -1,
          &F::FilePageSetupExecute },
        { "FileExit", u"ファイル", u"終了(&X)", u"終了|このプログラムを終了します。", "Alt+F4", -1, &F::FileExitExecute },
        { "EditUndo", u"編集(&E)", u"レスキュー", u"レスキュー|１回前の操作状態に戻します。", "Ctrl+U", 5, &F::EditUndoExecute },
        { "EditRedo", u"編集(&E)", u"やり直し", u"やり直し|レスキューで戻した操作をやり直します。", "Ctrl+Y; Ctrl+Shift+Z", -1,
          &F::EditRedoExecute },
        { "EditCut", u"編集(&E)", u"切り取り", u"切り取り|選択部分を切り取り、クリップボードにコピーします。", "Ctrl+X", 6,
          &F::EditCutExecute },
        { "EditCopy", u"編集(&E)", u"コピー", u"コピー|選択部分をクリップボードにコピーします。", "Ctrl+C", 7, &F::EditCopyExecute },
        { "EditPaste", u"編集(&E)", u"貼り付け", u"貼付|クリップボードの内容をカーソル位置に貼り付けます。", "Ctrl+V", 8,
          &F::EditPasteExecute },
        { "EditSelectAll", u"編集(&E)", u"すべて選択(&A)", u"全て選択|この文書の全ての文字列を選択します。", nullptr, 9,
          &F::EditSelectAllExecute },
        { "EditFont", u"編集(&E)", u"フォント", u"フォント|フォントの設定をします。", nullptr, -1, &F::EditFontExecute },
        { "EditInsertPicture", u"編集(&E)", u"画像の挿入...", u"画像の挿入|画像ファイルの画像をカーソル位置に挿入します。", nullptr,
          -1, &F::EditInsertPictureExecute },
        { "EditBold", u"編集(&E)", u"太字", u"太字|太字にします。", nullptr, 12, &F::EditBoldExecute, Command::Check },
        { "EditItaric", u"編集(&E)", u"斜字", u"斜字|斜字にします。", nullptr, 13, &F::EditItaricExecute, Command::Check },
        { "EditUnderline", u"編集(&E)", u"下線", u"下線|下線を付けます。", nullptr, 14, &F::EditUnderlineExecute,
          Command::Check },
        { "EditAlineLeft", u"編集(&E)", u"左寄せ", u"左寄せ|文字列を左寄せにします。", nullptr, 15, &F::ParaSet,
          Command::Grouped },
        { "EditAlineCenter", u"編集(&E)", u"中央寄せ", u"中央寄せ|文字列を中央寄せにします。", nullptr, 16, &F::ParaSet,
          Command::Grouped },
        { "EditAlineRight", u"編集(&E)", u"右寄せ", u"右寄せ|文字列を右寄せにします。", nullptr, 17, &F::ParaSet,
          Command::Grouped },
        { "EditBullet", u"編集(&E)", u"ナンバリング", u"ナンバリング|行の先頭に黒丸を付けます。", nullptr, 18,
          &F::EditBulletExecute, Command::Check },
        { "OptionReplace", u"オプション(&O)", u"検索・置換", u"検索・置換|文字列を検索・置換します。", nullptr, 10,
          &F::OptionReplaceExecute },
        { "OptionCharColor", u"オプション(&O)", u"文字色の設定", u"文字色の設定|文字色を設定します。", nullptr, -1,
          &F::OptionCharColorExecute },
        { "OptionBackColor", u"オプション(&O)", u"背景色の設定", u"背景色の設定|背景色を設定します。", nullptr, -1,
          &F::OptionBackColorExecute },
        { "OptionSendMail", u"オプション(&O)", u"メール送信", u"メール送信|この文書をメールで送信します。", nullptr, 11,
          &F::OptionSendMailExecute },
        { "ViewZoomIn", u"オプション(&O)", u"拡大", u"拡大|文書を大きく表示します。", "Ctrl++; Ctrl+=", -1, &F::ViewZoomInExecute },
        { "ViewZoomOut", u"オプション(&O)", u"縮小", u"縮小|文書を小さく表示します。", "Ctrl+-", -1, &F::ViewZoomOutExecute },
        { "ViewZoomReset", u"オプション(&O)", u"100%に戻す", u"100%に戻す|文書を元の大きさ (100%) で表示します。", "Ctrl+0", -1,
          &F::ViewZoomResetExecute },
        { "ActAssoc", u"オプション(&O)", u"関連付",
          u"関連付け|関連付けをするとファイルをダブルクリックで開く事が出来ます", nullptr, -1, &F::ActAssocExecute },
        { "ActAbout", u"ヘルプ", u"バージョン情報", u"", nullptr, -1, &F::ActAboutExecute },
        { "ActHelp", u"ヘルプ", u"ヘルプ(&H)", u"ヘルプ|このソフトの使用法を表示します。", "F1", 21, &F::ActHelpExecute },
    };
    return table;
}

void TPenForm1::runCommand(const std::function<void()> &handler)
{
    // Qt must never see an exception leave a slot: every failure ends here, in its box.
    try {
        handler();
    } catch (const AppError &e) {
        MessageBox::showAppError(this, e.text());
    } catch (const std::exception &e) {
        MessageBox::showAppError(this, QString::fromLocal8Bit(e.what()));
    }
}

void TPenForm1::createCommands()
{
    m_alignmentGroup = new QActionGroup(this);
    m_alignmentGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (const Command &c : commandTable()) {
        auto *action = new QAction(commandIcon(c.image), QString::fromUtf16(c.caption), this);
        action->setObjectName(QString::fromLatin1(c.name));
        action->setProperty("category", QString::fromUtf16(c.category));
        const QString hint = QString::fromUtf16(c.hint);
        action->setToolTip(hint.isEmpty() ? QString() : shortHint(hint));
        action->setStatusTip(hint.isEmpty() ? QString() : longHint(hint));
        if (c.shortcut)
            action->setShortcuts(QKeySequence::listFromString(QString::fromLatin1(c.shortcut)));
        action->setShortcutContext(Qt::WindowShortcut);
        if (c.kind != Command::Push)
            action->setCheckable(true);
        if (c.kind == Command::Grouped)
            m_alignmentGroup->addAction(action);
        const auto handler = c.handler;
        connect(action, &QAction::triggered, this, [this, handler] { runCommand([this, handler] { (this->*handler)(); }); });
        m_commandsByName.insert(action->objectName(), action);
        addAction(action); // its shortcut works wherever the focus is in the window
    }
    command(QStringLiteral("ActAssoc"))->setVisible(false);
    // Enabled while there is something to redo (followed from the editor's history).
    command(QStringLiteral("EditRedo"))->setEnabled(false);
}

QAction *TPenForm1::command(const QString &name) const
{
    return m_commandsByName.value(name);
}

void TPenForm1::createMenus()
{
    auto add = [this](QMenu *menu, const char *commandName) { menu->addAction(command(QString::fromLatin1(commandName))); };
    QMenuBar *bar = menuBar();

    QMenu *n1 = bar->addMenu(QString::fromUtf16(u"ファイル"));
    n1->setObjectName(QStringLiteral("N1"));
    add(n1, "FileNew");
    add(n1, "FileOpen");
    n1->addSeparator();
    add(n1, "FileSave");
    add(n1, "FileSaveAs");
    n1->addSeparator();
    add(n1, "FilePureview");
    add(n1, "FilePrintSet");
    add(n1, "FilePrint");
    add(n1, "FilePageSetup");
    n1->addSeparator();
    add(n1, "FileExit");
    // The documents last opened or saved, numbered, between the print items and the exit.
    createRecentFileItems(n1, command(QStringLiteral("FileExit")));

    Edit3 = bar->addMenu(QString::fromUtf16(u"編集(&E)"));
    Edit3->setObjectName(QStringLiteral("Edit3"));
    Edit3->menuAction()->setStatusTip(QString::fromUtf16(u"編集に関する操作ができます"));
    connect(Edit3, &QMenu::aboutToShow, this, [this] { runCommand([this] { Edit3Click(); }); });
    add(Edit3, "EditUndo");
    add(Edit3, "EditRedo");
    Edit3->addSeparator();
    // The three clipboard items have enabled states of their own (Edit3Click).
    Cut1 = viewOf(command(QStringLiteral("EditCut")), this);
    Copy1 = viewOf(command(QStringLiteral("EditCopy")), this);
    Paste1 = viewOf(command(QStringLiteral("EditPaste")), this);
    Cut1->setObjectName(QStringLiteral("Cut1"));
    Copy1->setObjectName(QStringLiteral("Copy1"));
    Paste1->setObjectName(QStringLiteral("Paste1"));
    Edit3->addAction(Cut1);
    Edit3->addAction(Copy1);
    Edit3->addAction(Paste1);
    Edit3->addSeparator();
    add(Edit3, "EditSelectAll");
    Edit3->addSeparator();
    add(Edit3, "EditFont");
    add(Edit3, "EditInsertPicture");

    QMenu *o1 = bar->addMenu(QString::fromUtf16(u"オプション(&O)"));
    o1->setObjectName(QStringLiteral("O1"));
    add(o1, "OptionReplace");
    o1->addSeparator();
    add(o1, "OptionCharColor");
    add(o1, "OptionBackColor");
    o1->addSeparator();
    add(o1, "ActAssoc");
    o1->addSeparator();
    add(o1, "OptionSendMail");
    o1->addSeparator();
    add(o1, "ViewZoomIn");
    add(o1, "ViewZoomOut");
    add(o1, "ViewZoomReset");

    QMenu *help1 = bar->addMenu(QString::fromUtf16(u"ヘルプ(&H)"));
    help1->setObjectName(QStringLiteral("Help1"));
    add(help1, "ActAbout");
    help1->addSeparator();
    add(help1, "ActHelp");

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    add(PopupMenu1, "EditUndo");
    add(PopupMenu1, "EditRedo");
    PopupMenu1->addSeparator();
    add(PopupMenu1, "EditCut");
    add(PopupMenu1, "EditCopy");
    add(PopupMenu1, "EditPaste");
    PopupMenu1->addSeparator();
    add(PopupMenu1, "EditSelectAll");
    PopupMenu1->addSeparator();
    add(PopupMenu1, "EditFont");
}

void TPenForm1::createToolBar()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setWindowTitle(QString::fromUtf16(u"ツールバー"));
    ToolBar1->setIconSize(QSize(21, 21));
    ToolBar1->setMinimumHeight(31);
    ToolBar1->setFloatable(false);
    // The buttons stand edge to edge, as the band bar places them.
    ToolBar1->layout()->setSpacing(0);
    ToolBar1->layout()->setContentsMargins(0, 0, 0, 0);
    struct Button {
        const char *name; // null: a separator
        const char *commandName;
    };
    static const Button buttons[] = {
        { "New", "FileNew" },        { "Open", "FileOpen" },         { nullptr, nullptr },
        { "Save", "FileSave" },      { nullptr, nullptr },           { "Preview", "FilePureview" },
        { "Print", "FilePrint" },    { nullptr, nullptr },           { "Rescue", "EditUndo" },
        { nullptr, nullptr },        { "Cut", "EditCut" },           { "Copy", "EditCopy" },
        { "Paste", "EditPaste" },    { nullptr, nullptr },           { "AllSellect", "EditSelectAll" },
        { nullptr, nullptr },        { "Replace", "OptionReplace" }, { nullptr, nullptr },
        { "Mail", "OptionSendMail" }, { nullptr, nullptr },          { "bold", "EditBold" },
        { "Itaric", "EditItaric" },  { "Underline", "EditUnderline" }, { nullptr, nullptr },
        { "AlinL", "EditAlineLeft" }, { "AlinC", "EditAlineCenter" }, { "AlinR", "EditAlineRight" },
        { nullptr, nullptr },        { "Bullet", "EditBullet" },
    };
    for (const Button &b : buttons) {
        if (!b.name) {
            auto *separator = new ToolSeparator(ToolBar1);
            separator->setFixedHeight(27);
            ToolBar1->addWidget(separator);
            continue;
        }
        QAction *action = command(QString::fromLatin1(b.commandName));
        const QString name = QString::fromLatin1(b.name);
        const bool ownState = name == QStringLiteral("Cut") || name == QStringLiteral("Copy") || name == QStringLiteral("Paste");
        auto *button = new QToolButton(ToolBar1);
        button->setObjectName(name);
        button->setDefaultAction(ownState ? viewOf(action, button) : action);
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setIconSize(QSize(21, 21));
        button->setFixedSize(28, 27);
        button->setFocusPolicy(Qt::NoFocus);
        ToolBar1->addWidget(button);
        if (name == QStringLiteral("Cut"))
            Cut = button;
        else if (name == QStringLiteral("Copy"))
            Copy = button;
        else if (name == QStringLiteral("Paste"))
            Paste = button;
    }
    addToolBar(Qt::TopToolBarArea, ToolBar1);
}
