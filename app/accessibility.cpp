#include "accessibility.h"

#include "app/statustext.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetrics>

namespace {

// A display as a screen reader sees it: a label named by its hint (the counter's "文字数") and
// its text, and the text itself through the text interface, which AT-SPI's readers and
// magnifiers read character by character. Read-only: no caret, no selection.
class StatusTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit StatusTextAccessible(StatusText *display)
        : QAccessibleWidget(display, QAccessible::StaticText)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? shown() : name + u' ' + shown();
        }
        if (t == QAccessible::Value)
            return shown();
        return QAccessibleWidget::text(t);
    }

    QString text(int startOffset, int endOffset) const override
    {
        const QString all = shown();
        startOffset = qBound(0, startOffset, int(all.size()));
        endOffset = endOffset < 0 ? int(all.size()) : qBound(startOffset, endOffset, int(all.size()));
        return all.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(shown().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override { }
    int selectionCount() const override { return 0; }
    void selection(int, int *startOffset, int *endOffset) const override { *startOffset = *endOffset = 0; }
    void addSelection(int, int) override { }
    void removeSelection(int) override { }
    void setSelection(int, int, int) override { }
    void scrollToSubstring(int, int) override { }

    // Where a character stands on the screen, as the font measures it (the display draws the
    // same advances).
    QRect characterRect(int offset) const override
    {
        const QString all = shown();
        if (offset < 0 || offset >= all.size())
            return {};
        const QFontMetrics metrics(widget()->font());
        const QRect area = widget()->contentsRect();
        const auto *display = static_cast<const StatusText *>(widget());
        const int whole = metrics.horizontalAdvance(all);
        const int left = display->alignment() & Qt::AlignRight ? area.right() - whole : area.left();
        const QRect character(left + metrics.horizontalAdvance(all.left(offset)), area.top(),
            metrics.horizontalAdvance(all.at(offset)), area.height());
        return QRect(widget()->mapToGlobal(character.topLeft()), character.size());
    }

    int offsetAtPoint(const QPoint &point) const override
    {
        for (int i = 0; i < characterCount(); ++i) {
            if (characterRect(i).contains(point))
                return i;
        }
        return -1;
    }

    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = offset < 0 ? 0 : characterCount();
        return {};
    }

private:
    QString shown() const { return Accessibility::shownText(static_cast<const StatusText *>(widget())); }
};

QAccessibleInterface *accessibleDisplay(const QString &className, QObject *object)
{
    if (className == QLatin1String("StatusText") && object && object->isWidgetType())
        return new StatusTextAccessible(static_cast<StatusText *>(object));
    return nullptr;
}

} // namespace

namespace Accessibility {

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleDisplay);
        return true;
    }();
    Q_UNUSED(installed);
}

QString shownText(const StatusText *display)
{
    return display->text().trimmed();
}

void announceTextChange(StatusText *display, const QString &before)
{
    if (!QAccessible::isActive())
        return;
    const QString now = shownText(display);
    const QString old = before.trimmed();
    if (now == old)
        return;
    // The name first, which carries the text (a reader that keeps names has the new one when
    // the text's change comes), then the text as it changed, read from the text interface.
    QAccessibleEvent nameChanged(display, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&nameChanged);
    QAccessibleTextUpdateEvent textChanged(display, 0, old, now);
    QAccessible::updateAccessibility(&textChanged);
}

} // namespace Accessibility
