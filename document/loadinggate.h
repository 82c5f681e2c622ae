#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

class QWidget;

// While the rest of a document is still coming in: the first input the user gives the program
// (a key, a click, a drop, a menu) has it all read before the input is handled, so every command
// sees the whole document. Clicks on the `passing` widgets (the editor's scroll bars) and the
// wheel only look at what is there and pass.
class LoadingGate : public QObject {
    Q_OBJECT
public:
    LoadingGate(std::function<void()> finish, std::vector<QWidget *> passing, QObject *parent = nullptr);
    ~LoadingGate() override;
    // Lets every input pass from now on (the rest is in; the gate goes later).
    void open() { m_finish = nullptr; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool passes(QObject *watched) const;

    std::function<void()> m_finish;
    std::vector<QPointer<QWidget>> m_passing;
};
