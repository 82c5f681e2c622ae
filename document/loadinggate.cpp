#include "loadinggate.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

LoadingGate::LoadingGate(std::function<void()> finish, std::vector<QWidget *> passing, QObject *parent)
    : QObject(parent)
    , m_finish(std::move(finish))
{
    for (QWidget *w : passing)
        m_passing.emplace_back(w);
    qApp->installEventFilter(this);
}

LoadingGate::~LoadingGate()
{
    qApp->removeEventFilter(this);
}

bool LoadingGate::passes(QObject *watched) const
{
    const QWidget *w = qobject_cast<const QWidget *>(watched);
    for (const QPointer<QWidget> &p : m_passing) {
        if (w && p && (w == p || p->isAncestorOf(w)))
            return true;
    }
    return false;
}

bool LoadingGate::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (passes(watched))
            break;
        [[fallthrough]];
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::Drop:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
        if (m_finish) {
            // Called once: finishing may itself send events.
            const std::function<void()> finish = std::move(m_finish);
            m_finish = nullptr;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            finish();
            QApplication::restoreOverrideCursor();
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
