// Open-file dialog for window tests: answers each request from a script (a
// path, or a cancel) and records what every request asked for. A request
// nobody scripted fails the running test (and cancels); scripted answers
// never used fail it when the fake is destroyed.
#pragma once

#include "platform/FilePicker.h"

#include <QList>

#include <gtest/gtest.h>

#include <deque>

class FakeFilePicker : public FilePicker {
public:
    ~FakeFilePicker() override {
        if (!m_script.empty())
            ADD_FAILURE() << m_script.size() << " scripted file choice(s) never asked for";
    }

    // The next request returns this path.
    void chooseNext(const QString& path) { m_script.emplace_back(path); }
    // The next request is cancelled by the user.
    void cancelNext() { m_script.emplace_back(std::nullopt); }

    std::optional<QString> openFile(const OpenFileRequest& request) override {
        m_requests.append(request);
        if (m_script.empty()) {
            ADD_FAILURE() << "unexpected file dialog: " << request.title.toStdString();
            return std::nullopt;
        }
        std::optional<QString> next = m_script.front();
        m_script.pop_front();
        return next;
    }

    // Save dialogs answer from the same script.
    std::optional<QString> saveFile(const OpenFileRequest& request) override {
        return openFile(request);
    }
    // Several files answer from the same script, one entry holding them
    // joined by "\n" (chooseFilesNext); a cancel is none.
    void chooseFilesNext(const QStringList& paths) { chooseNext(paths.join(QLatin1Char('\n'))); }
    QStringList openFiles(const OpenFileRequest& request) override {
        const std::optional<QString> next = openFile(request);
        return next ? next->split(QLatin1Char('\n')) : QStringList();
    }
    // Folder dialogs too; the request records the title and, as its filter,
    // the folder the dialog opened at.
    std::optional<QString> openFolder(const QString& title, const QString& start) override {
        return openFile({title, start, QString()});
    }
    const QList<OpenFileRequest>& requests() const { return m_requests; }

private:
    std::deque<std::optional<QString>> m_script;
    QList<OpenFileRequest> m_requests;
};
