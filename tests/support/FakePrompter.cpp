// Scripted message boxes for window tests.
#include "FakePrompter.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const char* buttonsName(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
        return "Ok";
    case MsgButtons::YesNo:
        return "YesNo";
    case MsgButtons::YesNoDefaultNo:
        return "YesNoDefaultNo";
    }
    return "?";
}

const char* iconName(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::None:
        return "None";
    case MsgIcon::Information:
        return "Information";
    case MsgIcon::Warning:
        return "Warning";
    case MsgIcon::Critical:
        return "Critical";
    }
    return "?";
}

} // namespace

void PrintTo(const Message& message, std::ostream* os) {
    *os << "Message{text=\"" << message.text.toStdString() << "\", title=\""
        << message.title.toStdString() << "\", icon=" << iconName(message.icon)
        << ", buttons=" << buttonsName(message.buttons) << "}";
}

FakePrompter::~FakePrompter() {
    if (!m_script.empty())
        ADD_FAILURE() << m_script.size() << " scripted Yes/No answer(s) never asked for";
}

void FakePrompter::answerNext(MsgAnswer answer, const QString& expectedText) {
    m_script.push_back({answer, expectedText});
}

MsgAnswer FakePrompter::show(const Message& message) {
    m_messages.append(message);
    if (m_spin) {
        QEventLoop box;
        QTimer::singleShot(0, &box, &QEventLoop::quit);
        box.exec();
    }
    if (message.buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    if (m_script.empty()) {
        ADD_FAILURE() << "unexpected Yes/No box: " << ::testing::PrintToString(message);
        return MsgAnswer::No;
    }
    const Scripted next = m_script.front();
    m_script.pop_front();
    if (!next.expectedText.isEmpty() && next.expectedText != message.text)
        ADD_FAILURE() << "Yes/No box with another text than scripted: expected \""
                      << next.expectedText.toStdString() << "\", shown "
                      << ::testing::PrintToString(message);
    return next.answer;
}

QStringList FakePrompter::texts() const {
    QStringList list;
    for (const Message& message : m_messages)
        list << message.text;
    return list;
}

void FakePrompter::expectNoMessages() const {
    if (m_messages.isEmpty())
        return;
    std::string shown;
    for (const Message& message : m_messages)
        shown += "\n  " + ::testing::PrintToString(message);
    ADD_FAILURE() << m_messages.size() << " unexpected message(s):" << shown;
}
