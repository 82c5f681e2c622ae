#include "controls.h"

#include "app/messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

void setTextColor(QWidget *box, const QColor &color)
{
    // Called at every keystroke: a palette write, even of the same colour, costs a polish.
    const QPalette &current = box->palette();
    if (current.color(QPalette::Text) == color && current.color(QPalette::WindowText) == color)
        return;
    QPalette p = current;
    p.setColor(QPalette::Text, color);
    p.setColor(QPalette::WindowText, color);
    box->setPalette(p);
}

void setBackgroundColor(QWidget *box, const QColor &color)
{
    const QPalette &current = box->palette();
    if (current.color(QPalette::Base) == color && current.color(QPalette::Window) == color)
        return;
    QPalette p = current;
    p.setColor(QPalette::Base, color);
    p.setColor(QPalette::Window, color);
    box->setPalette(p);
}

void useDialogFrame(QWidget *dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowCloseButtonHint);
}

QFont pixelFont(const char16_t *family, int pixels, bool bold)
{
    QFont font(QString::fromUtf16(family));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void setBoxText(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

namespace {

class InputMethodOff : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::InputMethodQuery || !watched->isWidgetType())
            return false;
        auto *query = static_cast<QInputMethodQueryEvent *>(event);
        if (!(query->queries() & Qt::ImEnabled))
            return false;
        const auto *widget = static_cast<QWidget *>(watched);
        for (quint64 bit = 1; bit <= 0x80000000u; bit <<= 1) {
            if (!(query->queries() & static_cast<uint>(bit)))
                continue;
            const auto asked = static_cast<Qt::InputMethodQuery>(bit);
            query->setValue(asked, asked == Qt::ImEnabled ? QVariant(false) : widget->inputMethodQuery(asked));
        }
        return true;
    }
};

} // namespace

void disableInputMethod(QWidget *box)
{
    auto *off = new InputMethodOff(box);
    QList<QWidget *> widgets { box };
    for (QLineEdit *edit : box->findChildren<QLineEdit *>())
        widgets.append(edit);
    for (QWidget *widget : std::as_const(widgets)) {
        widget->setAttribute(Qt::WA_InputMethodEnabled, false);
        widget->installEventFilter(off);
    }
}

bool waitUntilExposed(QWidget *window, int timeoutMs)
{
    auto exposed = [window] { return window->windowHandle() && window->windowHandle()->isExposed(); };
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (exposed())
        return true;
    // Asleep until the window system says something (the exposure comes as an event), not in
    // steps of a fixed time: the window is painted the moment it is there. The timer wakes
    // the wait at its end if nothing comes.
    QTimer end;
    end.setSingleShot(true);
    end.start(timeoutMs);
    while (end.isActive()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
        if (exposed())
            return true;
    }
    return exposed();
}

DisplayBox::DisplayBox(const QString &text, QWidget *parent)
    : QLineEdit(text, parent)
{
    setReadOnly(true);
    setCursor(Qt::ArrowCursor);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setFocusPolicy(Qt::ClickFocus);
}

void DisplayBox::mousePressEvent(QMouseEvent *event)
{
    QLineEdit::mousePressEvent(event);
    emit mouseDown(event->button());
}

void DisplayBox::mouseReleaseEvent(QMouseEvent *event)
{
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

UpDown::UpDown(int minimum, int maximum, QWidget *parent)
    : QWidget(parent)
    , m_minimum(minimum)
    , m_maximum(maximum)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton *button : { m_up, m_down }) {
        button->setArrowType(button == m_up ? Qt::UpArrow : Qt::DownArrow);
        button->setAccessibleName(QString::fromUtf16(button == m_up ? Messages::StepUpName : Messages::StepDownName));
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(button);
    }
    connect(m_up, &QToolButton::clicked, this, [this] { step(+1); });
    connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
}

void UpDown::setBuddy(QLineEdit *buddy)
{
    m_buddy = buddy;
    buddy->installEventFilter(this);
}

int UpDown::position() const
{
    const int value = m_buddy ? m_buddy->text().trimmed().toInt() : 0;
    return static_cast<qint16>(value);
}

void UpDown::step(int direction)
{
    const int current = qBound(m_minimum, position(), m_maximum);
    const int next = current + direction;
    if (next < m_minimum || next > m_maximum)
        return;
    if (m_buddy)
        m_buddy->setText(QString::number(next));
    emit clicked();
}

bool UpDown::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_buddy && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            step(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

ToolSeparator::ToolSeparator(QWidget *parent)
    : QWidget(parent)
{
    setFixedWidth(8);
}

void ToolSeparator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int x = width() / 2 - 1;
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(x, 3, x, height() - 4);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(x + 1, 3, x + 1, height() - 4);
}

FontNameDelegate::FontNameDelegate(Painter painter, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_painter(std::move(painter))
{
}

void FontNameDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem entry = option;
    initStyleOption(&entry, index);
    painter->save();
    m_painter(painter, entry, index.data().toString());
    painter->restore();
}

QSize FontNameDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return { QStyledItemDelegate::sizeHint(option, index).width(), 15 };
}
