// The About window.
#include "about/frmSobre.h"

#include "base/ProgramInfo.h"
#include "base/SiteInfo.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/WindowRegistry.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmSobre::frmSobre(AppContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
    setObjectName(QStringLiteral("frmSobre"));
    setWindowTitle(QStringLiteral("Sobre"));
    setWindowIcon(Emblem::icon());
    // Closing unloads the window, as its close box did in the original program.
    setAttribute(Qt::WA_DeleteOnClose);

    auto* picture = new QLabel(this);
    picture->setPixmap(Emblem::pixmap(64, devicePixelRatioF()));
    picture->setAlignment(Qt::AlignTop);

    lblTitulo = new QLabel(ProgramInfo::title(), this);
    lblTitulo->setObjectName(QStringLiteral("lblTitulo"));
    QFont bold = lblTitulo->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    lblTitulo->setFont(bold);

    lblDistribuicao = new QLabel(QStringLiteral("Este programa é distribuído sob a "
                                                "responsabilidade da Prefeitura Municipal de "
                                                "Valdoria."),
                                 this);
    lblDistribuicao->setObjectName(QStringLiteral("lblDistribuicao"));
    lblDistribuicao->setWordWrap(true);

    lblContato = new QLabel(
        QStringLiteral("Contato: Secretaria Municipal de Fazenda\n") + SiteInfo::url(), this);
    lblContato->setObjectName(QStringLiteral("lblContato"));
    lblContato->setWordWrap(true);
    lblContato->setTextInteractionFlags(Qt::TextSelectableByMouse);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmSobre::cmdOK_Click);

    auto* text = new QVBoxLayout;
    text->addWidget(lblTitulo);
    text->addSpacing(6);
    text->addWidget(lblDistribuicao);
    text->addWidget(lblContato);
    text->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    resize(460, 180);
}

void frmSobre::cmdOK_Click() {
    close();
}

void frmSobre::reject() {
    close();
}

void frmSobre::closeEvent(QCloseEvent* event) {
    // Shown before this window goes, so the program never has no window.
    if (QWidget* main = m_context.windows->window(QStringLiteral("Principal"))) {
        main->setEnabled(true);
        main->show();
        main->raise();
        main->activateWindow();
    }
    event->accept();
}
