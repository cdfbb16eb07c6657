// Builders of every text the simulator answers: the SOAP envelopes and
// faults, the transmission list with its fixed-position header, the access-key
// record, the receipt XML, the printable receipt page and the upload replies.
// Pure functions, so tests pin the positions the client reads.
#pragma once

#include "Records.h"

#include <chrono>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace valdoria {

using Clock = std::chrono::system_clock;

// Local time as "yyyy-MM-dd HH:mm:ss" (19 characters).
std::string isoDateTime(Clock::time_point t);
// Local time as "dd/MM/yyyy HH:mm:ss".
std::string brDateTime(Clock::time_point t);

// Raised for a working-years or version text that cannot sit in its fixed
// field (too long, or holding a character XML would have to escape).
class FieldError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Checks a working-years text (at most 9 characters) and a version text (at
// most 20) for the list header; throws FieldError.
void checkHeaderFields(const std::string& years, const std::string& version);

// The list XML returned by "Transferencia.ver2". Its document element carries
// three attributes placed so that, counting characters from 1, 32-50 hold
// `serverDateTime`, 59-67 `years` (blank-padded to 9) and 78-97 `version`
// (blank-padded to 20). Throws FieldError for unfit years or version.
std::string listXml(const std::string& serverDateTime, const std::string& years,
                    const std::string& version, const std::vector<Transmission>& rows);

// The fixed-position record of "Transferencia.ecnpj": 1-20 IE (blank-padded),
// 21-39 date-time, 40-50 " OPTANTE = ", 51 "S"/"N", 52-60 " CHAVE = ",
// 61-68 the key, then " CNPJ = " and the CNPJ digits.
std::string ecnpjRecord(const Company& company, const std::string& serverDateTime);

// The receipt XML of "Transferencia.ver": a document element "recibo" whose
// children are delivery items, each with a DETALHE child and further children.
std::string receiptXml(const Transmission& t, const Company& company, const UploadRecord* upload,
                       const std::map<std::string, std::string>& accountant);

// The printable receipt page; every value is HTML-escaped.
std::string receiptPage(const Transmission& t, const Company& company, const UploadRecord* upload);
// The page for a receipt that does not exist; the asked values are escaped.
std::string receiptNotFoundPage(const std::string& ie, const std::string& key,
                                const std::string& ref);

// SOAP 1.2 answer: soap:Envelope / soap:Body / ns:<operation>Response /
// return, with `returnText` escaped as the text of "return".
std::string soapResponse(const std::string& operation, const std::string& returnText);
// SOAP 1.2 fault with code "soap:Sender" or "soap:Receiver".
std::string soapFault(const std::string& code, const std::string& reason);

// Small HTML reply to an upload; `message` is escaped.
std::string uploadReply(const std::string& message);

// "3_2014,12_2013" -> "03/2014, 12/2013". Throws FieldError for an item that
// is not month_year with month 1-12 and a four-digit year. Empty in, empty out.
std::string referenceLabel(const std::string& gias);

// Value added derived from a digest, formatted "1.234.567,89".
std::string valueAddedFrom(const std::string& sha256Hex);

} // namespace valdoria
