// Masked text field reading literals and "_" placeholders.
#include "platform/MaskedEdit.h"

#include "platform/MaskInput.h"

#include <QKeyEvent>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {
const QString kCnpjMask = QStringLiteral("##.###.###/####-##");
// Letters upper-cased by ">"; the check digits stay digits.
const QString kCnpjQtMask = QStringLiteral(">NN.NNN.NNN/NNNN-99;_");
// Qt's "N" also takes accented letters; the validator, which sees the text
// with its blanks, lets A-Z and digits only into the field.
const QString kCnpjPattern =
    QStringLiteral("[0-9A-Z_]{2}\\.[0-9A-Z_]{3}\\.[0-9A-Z_]{3}/[0-9A-Z_]{4}-[0-9_]{2}");
} // namespace

MaskedEdit::MaskedEdit(QWidget* parent) : QLineEdit(parent) {}

void MaskedEdit::setMask(const QString& mask) {
    setValidator(nullptr);
    m_validator = nullptr;
    applyMask(mask, MaskInput::toQtInputMask(mask));
}

void MaskedEdit::setCnpjMask() {
    setValidator(nullptr);
    applyMask(kCnpjMask, kCnpjQtMask);
    // Set after the mask, so that the text it is checked against has the
    // mask's layout.
    if (!m_cnpjValidator)
        m_cnpjValidator = new QRegularExpressionValidator(QRegularExpression(kCnpjPattern), this);
    m_validator = m_cnpjValidator;
    setValidator(m_validator);
}

void MaskedEdit::applyMask(const QString& mask, const QString& qtMask) {
    // Keep what was typed, without literals and blanks: Qt alone would keep
    // the old positions, blanks included, and misplace them in the new mask.
    QString typed;
    if (m_mask.isEmpty() || m_unfit) {
        // A stored value the old mask could not hold is shown without one:
        // what the user sees is what is carried over.
        typed = text();
        if (m_unfit) {
            m_unfit = false;
            setStyleSheet(m_styleBeforeUnfit);
            setToolTip(m_toolTipBeforeUnfit);
        }
    } else {
        const QString current = displayText();
        const QList<bool> positions = MaskInput::inputPositions(m_mask);
        for (qsizetype i = 0; i < current.size() && i < positions.size(); ++i)
            if (positions[i] && current[i] != MaskInput::kBlank)
                typed += current[i];
    }
    m_mask = mask;
    m_qtMask = qtMask;
    setInputMask(qtMask);
    setText(typed);
}

QString MaskedEdit::maskedText() const {
    return m_mask.isEmpty() || m_unfit ? text() : displayText();
}

bool MaskedEdit::showStored(const QString& value) {
    setMaskedText(value);
    if (m_mask.isEmpty() || value.isEmpty() || displayText() == value)
        return true;
    // Qt would force the characters into the mask's positions and make
    // another value of it ("(21) 2512-3344" → "2125-1233"): show it as it is
    // and let the user correct it.
    m_unfit = true;
    m_unfitValue = value;
    m_styleBeforeUnfit = styleSheet();
    m_toolTipBeforeUnfit = toolTip();
    setValidator(nullptr);
    setInputMask(QString());
    setText(value);
    setCursorPosition(0);
    setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid #b00000; }"));
    setToolTip(QStringLiteral("Valor gravado fora do formato %1: corrija-o.")
                   .arg(MaskInput::emptyReading(m_mask)));
    return false;
}

QString MaskedEdit::unfitMessage(const QString& label) const {
    return QStringLiteral("O campo %1 traz o valor gravado \"%2\", que não cabe no formato %3. "
                          "Corrija o campo antes de continuar.")
        .arg(label, m_unfitValue, MaskInput::emptyReading(m_mask));
}

void MaskedEdit::keyPressEvent(QKeyEvent* event) {
    QLineEdit::keyPressEvent(event);
    // The mask comes back with the user's first change, never before: an
    // untouched field keeps the stored value.
    if (m_unfit && text() != m_unfitValue)
        leaveUnfit();
}

void MaskedEdit::leaveUnfit() {
    const QString edited = text();
    m_unfit = false;
    setStyleSheet(m_styleBeforeUnfit);
    setToolTip(m_toolTipBeforeUnfit);
    setInputMask(m_qtMask);
    setValidator(m_validator);
    setText(edited);
    // Typing goes on where the typed characters end.
    const qsizetype blank = displayText().indexOf(MaskInput::kBlank);
    setCursorPosition(static_cast<int>(blank < 0 ? displayText().size() : blank));
}

void MaskedEdit::setMaskedText(const QString& value) {
    if (m_unfit)
        leaveUnfit();
    if (m_mask.isEmpty()) {
        setText(value);
        return;
    }
    const QList<bool> positions = MaskInput::inputPositions(m_mask);
    const QString layout = displayText(); // literals at their places
    bool matches = value.size() == positions.size() && layout.size() == positions.size();
    bool gap = false;
    bool blankSeen = false;
    for (qsizetype i = 0; matches && i < value.size(); ++i) {
        if (!positions[i]) {
            matches = value[i] == layout[i];
        } else if (value[i] == MaskInput::kBlank) {
            blankSeen = true;
        } else if (blankSeen) {
            gap = true;
        }
    }
    if (!matches || !gap) {
        // Qt places a value without gaps correctly, literals included.
        setText(value);
        return;
    }
    // Blanks in the middle: put each typed character at its own position,
    // since Qt would close the gaps.
    clear();
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (positions[i] && value[i] != MaskInput::kBlank) {
            setCursorPosition(static_cast<int>(i));
            insert(value.mid(i, 1));
        }
    }
    setCursorPosition(0);
}
