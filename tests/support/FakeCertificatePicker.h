// Certificate selection for window tests: answers each pick from a script
// (a certificate, a cancel, or a store failure) and records the title and
// display text every pick was asked with. A pick nobody scripted fails the
// running test (and cancels); scripted picks never used fail it when the fake
// is destroyed.
#pragma once

#include "base/RuntimeError.h"
#include "certificates/CertificatePicker.h"

#include <QList>
#include <QString>

#include <gtest/gtest.h>

#include <deque>
#include <variant>

class FakeCertificatePicker : public CertificatePicker {
public:
    struct Request {
        QString title;
        QString displayText;
    };

    ~FakeCertificatePicker() override {
        if (!m_script.empty())
            ADD_FAILURE() << m_script.size() << " scripted certificate pick(s) never asked for";
    }

    // The next pick returns this certificate.
    void pickNext(const Certificate& certificate) { m_script.emplace_back(certificate); }
    // The next pick is cancelled by the user.
    void cancelNext() { m_script.emplace_back(Cancel{}); }
    // The next pick finds the store unusable: throws RuntimeError.
    void failNext(const QString& description = QStringLiteral("store unavailable")) {
        m_script.emplace_back(Failure{description});
    }

    std::optional<Certificate> pick(const QString& title, const QString& displayText) override {
        m_requests.append({title, displayText});
        if (m_script.empty()) {
            ADD_FAILURE() << "unexpected certificate pick: " << title.toStdString();
            return std::nullopt;
        }
        auto next = std::move(m_script.front());
        m_script.pop_front();
        if (auto* failure = std::get_if<Failure>(&next))
            throw RuntimeError(-1, QStringLiteral("FakeCertificatePicker"), failure->description);
        if (auto* certificate = std::get_if<Certificate>(&next))
            return *certificate;
        return std::nullopt;
    }

    const QList<Request>& requests() const { return m_requests; }
    std::size_t pendingPicks() const { return m_script.size(); }

private:
    struct Cancel {};
    struct Failure {
        QString description;
    };
    std::deque<std::variant<Certificate, Cancel, Failure>> m_script;
    QList<Request> m_requests;
};
