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

    // Fills the field with a value read from storage, which must never be
    // changed behind the user's back. Returns true when the field reads
    // exactly value (an empty value reads as the empty mask). Otherwise the
    // field shows value as it is, without the mask, marked (red frame and a
    // tool tip), maskedText() reads value unchanged and holdsUnfitValue() is
    // true until the user edits the field: the first key that changes it
    // brings the mask back over what the field then holds.
    bool showStored(const QString& value);

    // Whether the field still shows a stored value its mask cannot hold.
    bool holdsUnfitValue() const { return m_unfit; }

    // The sentence that asks the user to correct the field labelled label
    // ("Telefone") while it holds a stored value that does not fit.
    QString unfitMessage(const QString& label) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyMask(const QString& mask, const QString& qtMask);
    void leaveUnfit();

    QString m_mask;
    QString m_qtMask;
    QValidator* m_cnpjValidator = nullptr; // owned as a child, made on first use
    QValidator* m_validator = nullptr;     // the one the mask uses, if any
    bool m_unfit = false;
    QString m_unfitValue;
    QString m_styleBeforeUnfit;
    QString m_toolTipBeforeUnfit;
};
