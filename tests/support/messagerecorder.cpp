#include "support/messagerecorder.h"

#include <utility>

MessageRecorder::MessageRecorder()
{
    MessageBoxes::installPresenter(this);
}

MessageRecorder::~MessageRecorder()
{
    MessageBoxes::installPresenter(nullptr);
}

QMessageBox::StandardButton MessageRecorder::present(const MessageBoxes::Request &request)
{
    recorded.append(request);
    if (onPresent)
        onPresent(request);
    if (!answers.isEmpty())
        return answers.takeFirst();
    return request.kind == MessageBoxes::Kind::Question ? QMessageBox::Yes : QMessageBox::Ok;
}

void MessageRecorder::queueAnswer(QMessageBox::StandardButton answer)
{
    answers.append(answer);
}

void MessageRecorder::setOnPresent(std::function<void(const MessageBoxes::Request &)> callback)
{
    onPresent = std::move(callback);
}

MessageBoxes::Request MessageRecorder::last() const
{
    return recorded.isEmpty() ? MessageBoxes::Request() : recorded.last();
}

QStringList MessageRecorder::titles() const
{
    QStringList result;
    for (const MessageBoxes::Request &request : recorded)
        result.append(request.title);
    return result;
}

QStringList MessageRecorder::texts() const
{
    QStringList result;
    for (const MessageBoxes::Request &request : recorded)
        result.append(request.text);
    return result;
}

void MessageRecorder::clear()
{
    recorded.clear();
    answers.clear();
}
