#pragma once

// For window suites only (needs the gui library's MessageBoxes.h).

#include "MessageBoxes.h"

#include <QList>

namespace trovalo::test {

// Answers every message box with OK while it lives and keeps the requests.
class TMessageRecorder
{
public:
    TMessageRecorder()
    {
        FPrevious = SetMessageBoxHandler([this](const TMessageRequest &request) {
            Requests << request;
            return int(mrOk);
        });
    }
    ~TMessageRecorder() { SetMessageBoxHandler(FPrevious); }
    TMessageRecorder(const TMessageRecorder &) = delete;
    TMessageRecorder &operator=(const TMessageRecorder &) = delete;

    QList<TMessageRequest> Requests;

private:
    TMessageBoxHandler FPrevious;
};

// Answers every modal dialog with Handler while it lives.
class TModalAnswer
{
public:
    explicit TModalAnswer(TModalHandler handler) { FPrevious = SetModalHandler(std::move(handler)); }
    ~TModalAnswer() { SetModalHandler(FPrevious); }
    TModalAnswer(const TModalAnswer &) = delete;
    TModalAnswer &operator=(const TModalAnswer &) = delete;

private:
    TModalHandler FPrevious;
};

} // namespace trovalo::test
