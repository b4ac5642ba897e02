#pragma once

#include "ui/messageboxes.h"

#include <QList>
#include <QStringList>
#include <QVector>
#include <functional>

// Stands in for the real message boxes while it lives: every box is recorded and answered at once,
// from a queue of pre-set answers, or with Yes for questions and Ok for everything else.
// Boxes are recorded as requested; `parent` is kept for comparison only and may dangle later.
class MessageRecorder : public MessageBoxes::Presenter {
public:
    MessageRecorder();
    ~MessageRecorder() override;
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    QMessageBox::StandardButton present(const MessageBoxes::Request &request) override;

    // Answers for the next boxes, first queued first used.
    void queueAnswer(QMessageBox::StandardButton answer);
    // Runs while a box is "open", i.e. before it is answered (as a nested event loop would allow).
    void setOnPresent(std::function<void(const MessageBoxes::Request &)> callback);

    const QVector<MessageBoxes::Request> &boxes() const { return recorded; }
    int count() const { return recorded.size(); }
    bool isEmpty() const { return recorded.isEmpty(); }
    // The last box; a default Request when none was shown.
    MessageBoxes::Request last() const;
    QStringList titles() const;
    QStringList texts() const;
    int pendingAnswers() const { return answers.size(); }
    void clear();

private:
    QVector<MessageBoxes::Request> recorded;
    QList<QMessageBox::StandardButton> answers;
    std::function<void(const MessageBoxes::Request &)> onPresent;
};
