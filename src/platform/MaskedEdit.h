// A text field with an input mask that reads as the office's masked fields
// always did: the mask's literals plus "_" for every position not typed
// (an untouched "#####-###" reads "_____-___"). Values are stored and sent
// as read, never reduced to digits.
#pragma once

#include <QLineEdit>
#include <QString>

class QValidator;

class MaskedEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit MaskedEdit(QWidget* parent = nullptr);

    // Sets the mask in the field notation (see MaskInput::toQtInputMask),
    // e.g. "##.###.###/####-##". Characters typed so far are kept, in order,
    // in the new mask's positions; literals and blanks are not carried over.
    // An empty mask makes a plain text field.
    void setMask(const QString& mask);

    // The CNPJ mask "##.###.###/####-##" for the alphanumeric CNPJ: the first
    // twelve positions take digits or letters A-Z (lower case typed turns
    // upper case), the last two digits only. mask() reads "##.###.###/####-##".
    void setCnpjMask();

    // The mask as last set, in the field notation ("" when none).
    const QString& mask() const { return m_mask; }

    // The text as the field reads it: literals, typed characters and "_" for
    // every position not typed. Without a mask, the plain text. Use this, not
    // QLineEdit::text(), which drops the blanks.
    QString maskedText() const;

    // Fills the field with a stored value. A value that matches the mask's
    // layout (same length, same literals) is placed position by position, "_"
    // leaving a position blank; any other value is typed in from the start.
    void setMaskedText(const QString& value);

private:
    void applyMask(const QString& mask, const QString& qtMask);

    QString m_mask;
    QValidator* m_cnpjValidator = nullptr; // owned as a child, made on first use
};
