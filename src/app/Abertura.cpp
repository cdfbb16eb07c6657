// The opening window.
#include "app/Abertura.h"

#include "base/ProgramInfo.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/WindowRegistry.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

Abertura::Abertura(AppContext& context, QWidget* parent) : QWidget(parent), m_context(context) {
    setObjectName(QStringLiteral("Abertura"));
    setWindowTitle(ProgramInfo::mainCaption());
    setWindowIcon(Emblem::icon());

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setPixmap(Emblem::pixmap(128, devicePixelRatioF()));
    Picture1->setAccessibleName(QStringLiteral("Brasão da Prefeitura Municipal de Valdoria"));
    Picture1->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    Label4 = new QLabel(QStringLiteral("Prefeitura Municipal de Valdoria"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    QFont heading = Label4->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.4);
    Label4->setFont(heading);

    Label1 = new QLabel(
        QStringLiteral("Este software valida e transmite VAV-UVOD de empresas não enquadradas no "
                       "Simples Nacional, via internet, diretamente do seu computador para a "
                       "Prefeitura Municipal de Valdoria."),
        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // "&" gives each button an Alt accelerator; the visible words are unchanged.
    Command1 = new QPushButton(QStringLiteral("&Iniciar"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2 = new QPushButton(QStringLiteral("&Sobre"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command3 = new QPushButton(QStringLiteral("Sai&r"), this);
    Command3->setObjectName(QStringLiteral("Command3"));
    connect(Command1, &QPushButton::clicked, this, &Abertura::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Abertura::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Abertura::Command3_Click);

    auto* text = new QVBoxLayout;
    text->addWidget(Label4);
    text->addSpacing(8);
    text->addWidget(Label1);
    text->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(Picture1);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    buttons->addWidget(Command3);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addLayout(top, 1);
    layout->addSpacing(12);
    layout->addLayout(buttons);

    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    Command1->setFocus();
    resize(560, 260);
}

void Abertura::Command1_Click() {
    m_context.windows->unload(QStringLiteral("Abertura"));
    m_context.windows->show(QStringLiteral("Principal"));
}

void Abertura::Command2_Click() {
    m_context.windows->unload(QStringLiteral("Abertura"));
    m_context.windows->show(QStringLiteral("frmSobre"));
}

void Abertura::Command3_Click() {
    if (m_context.quit)
        m_context.quit();
}

// Built into this file's own object (see src/CMakeLists.txt): the program draws this
// window without the rest of the window library.
#include "moc_Abertura.cpp"
