// The main window's part in following every sending: the schedule that asks
// the taxpayers' lists in the background, and the line (and list) of the
// sendings refused after processing.
#include "app/Principal.h"

#include "followup/DesktopNotifier.h"
#include "followup/FollowUpDecision.h"
#include "followup/FollowUpSchedule.h"
#include "followup/RefusedSendingsWindow.h"
#include "followup/SendingFollowUp.h"
#include "shell/AppContext.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "store/SendingRepository.h"

#include <QHash>
#include <QLabel>

void Principal::startFollowUp() {
    if (!m_context.followSendings)
        return;
    SendingFollowUp::Setup setup;
    setup.clock = m_context.clock;
    setup.proxyAuth = m_context.proxyAuth;
    m_followUp = new SendingFollowUp(setup, this);
    connect(m_followUp, &SendingFollowUp::finished, this, &Principal::showRefusedLine);
    // Each refusal this desk learns is said once on the desktop as well.
    connect(m_followUp, &SendingFollowUp::outcomesWritten, this,
            [this](const QList<SendingEntry>& refused) {
                if (refused.isEmpty())
                    return;
                showRefusedLine();
                try {
                    QHash<QString, QString> names;
                    LocalDb db;
                    for (const ContribuinteRow& t : listContribuintes(db))
                        names.insert(t.IE, t.RazaoSocial);
                    DesktopNotifier().notifyRefused(refused, names);
                } catch (const std::exception&) {
                    // The notification is a courtesy: the line already says it.
                }
            });
    m_followTimer = new FollowUpTimer(m_context.followUpMinute, this);
    connect(m_followTimer, &FollowUpTimer::due, this, &Principal::followSendings);
    // The first round comes from the event loop, once the window is up.
    m_followTimer->start();
}

void Principal::followSendings() {
    if (!m_followUp)
        return;
    // What another desk learned shows at once; this round's outcomes follow.
    showRefusedLine();
    m_followUp->run();
}

void Principal::showRefusedLine() {
    try {
        LocalDb db;
        const QString line = FollowUp::refusedLine(int(refusedAfterProcessing(db).size()));
        lblRecusados->setText(line);
        lblRecusados->setVisible(!line.isEmpty());
    } catch (const std::exception&) {
        // The line is a courtesy: a database that cannot be read is
        // reported by the windows that need it, not here in the background.
        lblRecusados->hide();
    }
}

void Principal::showRefused() {
    try {
        QList<SendingEntry> refused;
        QHash<QString, QString> names;
        {
            LocalDb db;
            refused = refusedAfterProcessing(db);
            for (const ContribuinteRow& t : listContribuintes(db))
                names.insert(t.IE, t.RazaoSocial);
        }
        auto* window = new RefusedSendingsWindow(refused, names, this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    } catch (const std::exception& error) {
        showErrorReport(error);
    }
}
