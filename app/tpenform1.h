#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QUrl>

#include "app/recentfiles.h"
#include "app/tform3.h"

#include <functional>
#include <memory>
#include <optional>

class DisplayBox;
class IniFile;
class StatusText;
class QAction;
class QActionGroup;
class QComboBox;
class QFrame;
class QMenu;
class QPainter;
class QTimer;
class TPrintReport2;
class TPreviewWindow;
class TReportOutput;
class QPrinter;
class QPushButton;
class RecoveryKeeper;
namespace RecoveryFile {
class Claim;
struct Entry;
}
class QStyleOptionViewItem;
struct CharFormat;
struct Unsaveable;
class QToolBar;
class QToolButton;
class RichEdit;
class ReplaceDialog;
class RulerMarker;
class RulerStrip;
class TForm3;
class TForm4;
class TForm5;
class HelpViewer;
class UpDown;

// The main window: the document editor with its band bar, ruler, status bar, menus and
// commands. Declarations are grouped by the file that defines them.
class TPenForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TPenForm1(QWidget *parent = nullptr);
    ~TPenForm1() override;

    // The splash window while it is up (it deletes itself once the main window has appeared).
    TForm3 *splash() const { return m_splash; }

    // The report that lays the document out on pages (made at start-up beside the window).
    void setPrintReport(TPrintReport2 *report) { m_printReport = report; }
    // The tool dialogs, made hidden after the report.
    void createToolForms();
    TPrintReport2 *printReport() const { return m_printReport; }

    // A command of the command table by its name ("FileOpen", "EditBold"), or null.
    QAction *command(const QString &name) const;

    // The hint of a control as panel 0 shows it: its own long hint or the first one found on
    // its parents outward; empty when none has one.
    static QString longHintAt(const QWidget *widget);

    // -- app: defined in app/tpenform1.cpp --
    void FormCreate();
    // Opens the documents named on the command line, then gives the editor the focus.
    void FormShow(const QStringList &documents = {});
    void FormDestroy();
    void FormResize();
    void ApplicationEvents1Hint(const QString &hint);
    void Edit3Click();
    void RichEdit1MouseDown(Qt::MouseButton button, QPoint point);
    void FileExitExecute();
    // Applies the outer placement read from the settings again, now that the window manager
    // has framed the window: the frame is then inside the stored size, not added to it.
    void applyOuterPlacement();
    // The point (screen coordinates) the editor's popup opens at for a press at `point`.
    QPoint popupPoint(QPoint point) const;

    // -- document: defined in document/tpenform1_file.cpp --
    void ClearDocument();
    void OpenFile(const QString &path);
    void FileNewExecute();
    void FileOpenExecute();
    void FileSaveExecute();
    void FileSaveAsExecute();
    void FormCloseQuery(bool &canClose);
    // Files dropped on the window: the first local one is opened.
    void WMDropFiles(const QList<QUrl> &urls);

    // -- document: defined in document/tpenform1_recent.cpp --
    // The File menu's numbered items for the documents last opened or saved.
    const RecentFiles &recentFiles() const { return m_recentFiles; }
    QList<QAction *> recentFileItems() const { return m_recentFileItems; }
    void openRecentFile(int index);

    // -- document: defined in document/tpenform1_recovery.cpp --
    // The recovery file of this window's document.
    RecoveryKeeper *recovery() const { return m_recovery; }
    // Offers, one at a time, the work that programs no longer running left unsaved.
    void offerRecovery();
    // SIGTERM and SIGHUP (the system ending the program, a logout) keep the unsaved work in the
    // recovery file (beside the document or in the spare folder when that cannot be written) and
    // end the program without questions. Installed once, by the program, for its window.
    void handleEndSignals();

    // -- editing: defined in editing/tpenform1_selection.cpp --
    void RichEdit1SelectionChange();
    void UpdateCaretStatus();
    void UpdateCharCount();
    void RichEdit1Change();
    void Memo1Click();
    void Memo2Click();
    void Memo1MouseDown();
    void Memo2MouseDown();
    void Edit1MouseDown();

    // -- editing: defined in editing/tpenform1_format.cpp --
    void ComboBox1Click();
    void ComboBox1DrawItem(QPainter *painter, const QStyleOptionViewItem &option, const QString &text);
    void UpDown1Click();
    void EditBoldExecute();
    void EditItaricExecute();
    void EditUnderlineExecute();
    void ParaSet();
    void EditBulletExecute();
    void OptionCharColorExecute();
    void OptionBackColorExecute();
    void EditFontExecute();
    void FontDialog1Apply(const CharFormat &font);
    void EditCutExecute();
    void EditCopyExecute();
    void EditPasteExecute();
    void EditSelectAllExecute();
    void EditUndoExecute();
    void EditRedoExecute();

    // -- app: defined in app/tpenform1_insert.cpp --
    // Inserts the picture of an image file chosen in the open dialog at the caret.
    void EditInsertPictureExecute();

    // -- app: defined in app/pagesetupcommand.cpp --
    void FilePageSetupExecute();

    // -- app: defined in app/zoomcommands.cpp --
    void ViewZoomInExecute();
    void ViewZoomOutExecute();
    void ViewZoomResetExecute();

    // -- editing: defined in editing/tpenform1_ruler.cpp --
    void RulerResize();
    void RulerItemMouseDown(RulerMarker *marker, int x);
    void RulerItemMouseMove(RulerMarker *marker, int x);
    void FirstIndMouseUp();
    void LeftIndMouseUp();
    void RightIndMouseUp();
    // Half the width of the marker last pressed; whether a marker is being dragged.
    int MarkerGrabOffset = 0;
    bool MarkerDragging = false;

    // -- tools: defined in tools/tpenform1_replace.cpp --
    void OptionReplaceExecute();
    void ReplaceDialog1Find();
    void ReplaceDialog1Replace();

    // -- tools: defined in tools/tpenform1_tools.cpp --
    void Button3Click();
    void ActAssocExecute();
    void OptionSendMailExecute();
    void ActAboutExecute();
    void ActHelpExecute();

    // -- printing: defined in printing/tpenform1_print.cpp --
    void FilePureviewExecute();
    // Shows a preview run's output in a window of its own, not modal.
    void ReportPreview(TReportOutput *output);
    TPreviewWindow *previewWindow() const;
    void FilePrintSetExecute();
    void FilePrintExecute();
    // The printer chosen with the printer setup or the print dialog (a queue name); empty until
    // one was chosen.
    QString chosenPrinter() const;

    // The name of the open document, exactly as it was given; empty for a new document.
    QString CurrentFileName;
    // The counter's unit: characters (true) or bytes.
    bool CountInChars = true;

    // What the open and save dialogs remember between uses.
    struct FileDialogState {
        QString fileName;
        int filterIndex = 1;
        QString defaultExtension;
    };
    FileDialogState OpenDialog1 { {}, 1, QStringLiteral("rtf") };
    FileDialogState SaveDialog1 { {}, 1, QStringLiteral("rtf") };
    FileDialogState PictureDialog { {}, 1, {} };

    // -- Controls, named as the window's design names them --
    QToolBar *ToolBar1 = nullptr;
    QToolBar *Band2 = nullptr;
    QWidget *Panel2 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    DisplayBox *Edit1 = nullptr;
    UpDown *UpDown1 = nullptr;
    DisplayBox *Edit4 = nullptr;
    DisplayBox *Edit2 = nullptr;
    QFrame *Panel3 = nullptr;
    StatusText *Memo1 = nullptr;
    StatusText *Memo2 = nullptr;
    QPushButton *Button3 = nullptr;
    TForm4 *Form4 = nullptr;
    TForm5 *Form5 = nullptr;
    HelpViewer *helpViewer() const { return m_helpViewer; }
    QToolButton *AssocButton = nullptr;
    QWidget *Panel1 = nullptr;
    RulerStrip *Ruler = nullptr;
    QFrame *RulerLine = nullptr;
    RulerMarker *FirstInd = nullptr;
    RulerMarker *LeftInd = nullptr;
    RulerMarker *RightInd = nullptr;
    QFrame *Panel4 = nullptr;
    RichEdit *RichEdit1 = nullptr;
    StatusText *StatusPanels[3] = {};
    ReplaceDialog *ReplaceDialog1 = nullptr;
    QMenu *Edit3 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    // The tool buttons whose enabled state the selection refresh keeps.
    QToolButton *Cut = nullptr;
    QToolButton *Copy = nullptr;
    QToolButton *Paste = nullptr;
    // The Edit menu's items that Edit3Click enables.
    QAction *Cut1 = nullptr;
    QAction *Copy1 = nullptr;
    QAction *Paste1 = nullptr;

signals:
    // The window is about to close for good: commands waiting on their own loops end.
    void closing();

protected:
    bool event(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Command;
    // -- app: defined in app/tpenform1_commands.cpp --
    static const std::vector<Command> &commandTable();
    void createCommands();
    void createMenus();
    void createToolBar();
    // Runs a handler as a command: an error is shown by the central error handler, never
    // passed on.
    void runCommand(const std::function<void()> &handler);

    // -- document: defined in document/tpenform1_file.cpp --
    // Save and Save As; false when nothing was written (the dialog cancelled).
    bool saveDocument();
    bool saveDocumentAs();
    // Writes the document to `path` in the editor's stream format. Text with characters
    // Shift-JIS cannot hold is written only once the user has said how: returns the path
    // written (the same name with .rtf when the user chose RTF), or nothing when cancelled. So
    // is a save that would lose groups kept from the file whose text the user deleted.
    std::optional<QString> writeDocument(const QString &path);
    std::optional<QString> writeDocumentData(const QString &path, const QByteArray &data, const Unsaveable &unsaveable);
    // Before unsaved work would be replaced: the close prompt's question. True to go on (saved,
    // or the changes given up); false to keep everything as it is.
    bool changesMayBeReplaced();

    // -- document: defined in document/tpenform1_recent.cpp --
    void createRecentFileItems(QMenu *fileMenu, QAction *before);
    void loadRecentFiles(const IniFile &settings);
    void refreshRecentFileItems();
    // Changes the list as the settings file has it now, keeps it there and shows it.
    void changeRecentFiles(const std::function<void(RecentFiles &)> &change);
    void rememberRecentFile(const QString &path);

    // -- document: defined in document/tpenform1_recovery.cpp --
    void restoreRecovery(RecoveryFile::Claim &claim, const RecoveryFile::Entry &entry);
    // Tells the user, once a run, when unsaved work cannot be kept against a crash.
    void watchRecovery();
    void tellCannotKeepWork(const QString &text);
    // Before Save writes a restored document over its file: asks when the file changed after the
    // work was kept. True to go on.
    bool mayReplaceRestoredFile();

    // -- app: defined in app/zoomcommands.cpp --
    // The ruler follows the editor's zoom.
    void followZoom();

    // -- editing: defined in editing/tpenform1_format.cpp --
    void writeFontToSelection(const CharFormat &font);

    // -- editing: defined in editing/tpenform1_ruler.cpp --
    // The left indent the left marker's place gives, with the first indent now in force.
    void writeLeftIndentAtMarker();

    // -- tools: defined in tools/tpenform1_replace.cpp --
    void showPlainMessage(const QString &text);
    void selectHit(qint64 position, const QString &what);
    void replaceAll(const QString &what, const QString &with);

    // -- app: defined in app/tpenform1.cpp --
    void createBand2();
    void createRuler();
    void createEditor();
    void createStatusBar();
    void initialisationPass(const IniFile &settings);
    void applySettings(const IniFile &settings);
    // Makes `outer` the window's outer bounds, as far as its frame is known.
    void placeOuter(const QRect &outer);
    void writeSettings();
    void refreshHintUnderPointer();

    QHash<QString, QAction *> m_commandsByName; // looked up at every caret move
    QActionGroup *m_alignmentGroup = nullptr;
    QPointer<TForm3> m_splash;
    // Brings the line panel up to date a slice at a time while the paragraphs before the caret
    // are laid out again (see UpdateCaretStatus).
    QTimer *m_caretStatusLater = nullptr;
    // The outer bounds the settings gave (frame included).
    QRect m_outerPlacement;
    QString m_settingsPath;
    QStringList m_fontList;
    // Whether the clipboard holds text, kept from its change notices: asking the clipboard at
    // every caret move would cost a round trip to its owner.
    bool m_clipboardHasText = false;
    // The application's printer: what the printer setup chooses, what the direct print uses.
    QPrinter &printer(); // the printer the print commands use, made when first needed
    std::unique_ptr<QPrinter> m_printer;
    QString m_chosenPrinter;
    TPrintReport2 *m_printReport = nullptr;
    // The open preview, if any: the application owns it, the window only keeps track of it.
    QPointer<TPreviewWindow> m_previewWindow;
    // The widget the pointer last entered (see refreshHintUnderPointer).
    QPointer<QWidget> m_widgetUnderPointer;
    HelpViewer *m_helpViewer = nullptr;
    bool m_settingsWritten = false;
    RecentFiles m_recentFiles;
    QList<QAction *> m_recentFileItems;
    QAction *m_recentFilesSeparator = nullptr;
    RecoveryKeeper *m_recovery = nullptr;
    // Ended by a signal: the recovery file stays for the next start.
    bool m_keepRecovery = false;
    // A restored document's file and what it was when the work was kept, until it is saved.
    QString m_restoredPath;
    QByteArray m_restoredStamp;
    bool m_toldCannotKeepWork = false;
};
