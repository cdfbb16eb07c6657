// The first step shared by the CNPJ, CPF and IE checks: the characters of a
// typed number that count, kept in order, and the value at each position.
// Positions are 1-based and a position beyond the end counts as 0, so short
// input is judged as if padded with zeros rather than rejected.
#pragma once

#include <QString>

#include <initializer_list>
#include <utility>

class DigitString {
public:
    // Keeps every character "0".."9" of text, in order; everything else
    // (punctuation, mask placeholders, blanks, letters) is dropped.
    static DigitString digitsOf(const QString& text);
    // Keeps "0".."9" and "A".."Z" of text, in order, with "a".."z" upper-cased
    // first; every other character (accented letters included) is dropped.
    static DigitString alphanumericOf(const QString& text);

    // Number of characters kept.
    int length() const { return static_cast<int>(chars_.size()); }
    // The characters kept, as text.
    const QString& text() const { return chars_; }

    // Value of position k: the character's code minus that of "0", so "0".."9"
    // are 0..9 and "A" is 17; 0 for any k outside 1..length().
    int at(int k) const;
    // Sum of at(firstPosition + i) × weights[i] over the weights in order.
    int weightedSum(std::initializer_list<int> weights, int firstPosition = 1) const;
    // Positions 1..count read as one decimal number, missing positions as 0
    // ("0301" with count 8 reads as 3010000). count is at most 18.
    qint64 leadingNumber(int count) const;
    // The count characters from position start on; fewer when the end comes
    // first, none when start lies past the end. start must be at least 1.
    DigitString slice(qsizetype start, int count) const;

private:
    explicit DigitString(QString chars) : chars_(std::move(chars)) {}
    QString chars_;
};
