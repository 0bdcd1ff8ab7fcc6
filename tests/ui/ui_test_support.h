#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "ui/dialog_layout.h"
#include "ui/user_prompts.h"

// Texts in test failures as the user reads them.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace zokuitest {

// Answers the file dialogs and message boxes from a script and records what was asked.
class ScriptedPrompts : public UserPrompts {
public:
    // Each Add takes the next answer; none left means the user cancelled.
    std::deque<std::vector<std::string>> inputFiles;
    std::deque<std::string> archivePaths;
    std::deque<bool> answers;
    std::deque<std::string> archivesToOpen;
    std::deque<std::string> folders;
    std::deque<zok::OverwriteAnswer> overwriteAnswers;

    std::vector<QStringList> inputFilterRequests;
    std::vector<QStringList> archiveFilterRequests;
    std::vector<QString> messages;
    std::vector<QString> questions;
    std::vector<QString> overwriteQuestions;
    // Runs while a question is open, with the window that asked it.
    std::function<void(QWidget&)> duringQuestion;

    std::vector<std::string> AskInputFiles(QWidget&, const QStringList& filters) override {
        inputFilterRequests.push_back(filters);
        if (inputFiles.empty()) {
            return {};
        }
        std::vector<std::string> answer = inputFiles.front();
        inputFiles.pop_front();
        return answer;
    }
    std::string AskArchivePath(QWidget&, const QStringList& filters) override {
        archiveFilterRequests.push_back(filters);
        if (archivePaths.empty()) {
            return {};
        }
        std::string answer = archivePaths.front();
        archivePaths.pop_front();
        return answer;
    }
    void ShowMessage(QWidget&, const QString& text) override { messages.push_back(text); }
    bool AskYesNo(QWidget& parent, const QString& text) override {
        questions.push_back(text);
        if (duringQuestion) {
            duringQuestion(parent);
        }
        if (answers.empty()) {
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::string AskArchiveToOpen(QWidget&) override { return Next(archivesToOpen, {}); }
    std::string AskFolder(QWidget&) override { return Next(folders, {}); }
    // No answer left means the box was closed: 아니요.
    zok::OverwriteAnswer AskOverwrite(QWidget&, const QString& text) override {
        overwriteQuestions.push_back(text);
        return Next(overwriteAnswers, zok::OverwriteAnswer::No);
    }
    // Files handed to the desktop to open; each opens.
    std::vector<std::string> openedFiles;
    bool OpenFile(QWidget&, const std::string& path) override {
        openedFiles.push_back(path);
        return true;
    }

private:
    template <class T>
    static T Next(std::deque<T>& queue, T fallback) {
        if (queue.empty()) {
            return fallback;
        }
        T value = std::move(queue.front());
        queue.pop_front();
        return value;
    }
};

// Polls every 5 ms until find gives a visible window, then runs action on it once. After ten
// seconds without one the test fails with missing and giveUp closes what is open, so that a
// fault never hangs the suite.
template <class T>
void WhenFound(std::function<T*()> find, std::function<void(T&)> action, const char* missing,
               std::function<void()> giveUp) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [=] {
        T* window = find();
        const bool found = window != nullptr && window->isVisible();
        if (found || clock->elapsed() > 10000) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            if (found) {
                action(*window);
            } else {
                ADD_FAILURE() << missing;
                giveUp();
            }
        }
    });
    timer->start();
}

// Runs action on the modal window of type T as soon as it is open.
template <class T>
void WhenModal(std::function<void(T&)> action) {
    WhenFound<T>([] { return dynamic_cast<T*>(QApplication::activeModalWidget()); },
                 std::move(action), "the expected modal window did not open",
                 [] {
                     if (QWidget* modal = QApplication::activeModalWidget()) {
                         modal->close();
                     }
                 });
}

// Runs action on a window of type T as soon as one is shown (modal or not).
template <class T>
void WhenShown(std::function<void(T&)> action) {
    WhenFound<T>(
        []() -> T* {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                T* window = dynamic_cast<T*>(widget);
                if (window != nullptr && window->isVisible()) {
                    return window;
                }
            }
            return nullptr;
        },
        std::move(action), "the expected window did not open",
        [] { QApplication::closeAllWindows(); });
}

// Runs action on the next pop-up menu once it is shown.
void WhenPopupMenu(std::function<void(QMenu&)> action);

template <class T = QWidget>
T* Control(QWidget& dialog, int id) {
    return dialog.findChild<T*>(ControlName(id));
}

inline QString LabelText(QWidget& dialog, int id) {
    QLabel* label = Control<QLabel>(dialog, id);
    return label != nullptr ? label->text() : QStringLiteral("<no label %1>").arg(id);
}

inline bool ButtonEnabled(QWidget& dialog, int id) {
    QPushButton* button = Control<QPushButton>(dialog, id);
    return button != nullptr && button->isEnabled();
}

// Clicks a button with the mouse, as a user would.
void Click(QWidget& dialog, int id);

inline QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace zokuitest
