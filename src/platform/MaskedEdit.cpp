// Masked text field reading literals and "_" placeholders.
#include "platform/MaskedEdit.h"

#include "platform/MaskInput.h"

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
    applyMask(mask, MaskInput::toQtInputMask(mask));
}

void MaskedEdit::setCnpjMask() {
    setValidator(nullptr);
    applyMask(kCnpjMask, kCnpjQtMask);
    // Set after the mask, so that the text it is checked against has the
    // mask's layout.
    if (!m_cnpjValidator)
        m_cnpjValidator = new QRegularExpressionValidator(QRegularExpression(kCnpjPattern), this);
    setValidator(m_cnpjValidator);
}

void MaskedEdit::applyMask(const QString& mask, const QString& qtMask) {
    // Keep what was typed, without literals and blanks: Qt alone would keep
    // the old positions, blanks included, and misplace them in the new mask.
    QString typed;
    if (m_mask.isEmpty()) {
        typed = text();
    } else {
        const QString current = displayText();
        const QList<bool> positions = MaskInput::inputPositions(m_mask);
        for (qsizetype i = 0; i < current.size() && i < positions.size(); ++i)
            if (positions[i] && current[i] != MaskInput::kBlank)
                typed += current[i];
    }
    m_mask = mask;
    setInputMask(qtMask);
    setText(typed);
}

QString MaskedEdit::maskedText() const {
    return m_mask.isEmpty() ? text() : displayText();
}

void MaskedEdit::setMaskedText(const QString& value) {
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
