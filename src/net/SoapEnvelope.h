// SOAP 1.2 request text and result reading for every question the client asks
// the municipal server. Requests are one line, no indentation, sent as UTF-8;
// the answer's single value is the text of the "return" element at depth four.
#pragma once

#include <QList>
#include <QString>

namespace Soap {

// One parameter of an operation, in the order the operation expects.
struct SoapParam {
    QString name;  // element name, inserted as it is
    QString value; // element text; "&", "<" and ">" are escaped when inserted
};

// The envelope head: XML declaration, Envelope start tag with the xsi, xsd
// and soap12 namespaces, and the Body start tag.
QString GenerateSoapBodyStart();
// "<" + strFunction + " xmlns=\"\">": the operation's start tag, always with an
// empty default namespace.
QString GenerateSoapFunctionCallStart(const QString& strFunction);
// "<" + strParam + ">" + escaped strValue + "</" + strParam + ">".
QString GenerateSoapParameter(const QString& strParam, const QString& strValue);
// "</" + strFunction + ">".
QString GenerateSoapFunctionCallEnd(const QString& strFunction);
// "</soap12:Body></soap12:Envelope>".
QString GenerateSoapBodyEnd();

// The whole request for one operation: head, operation start, one element per
// parameter in the given order, operation end, tail; nothing between pieces.
// An operation without parameters still gets a start and an end tag.
QString BuildSoapRequest(const QString& operation, const QList<SoapParam>& params);

// Text (with all descendant text) of the first element named resultParam that
// is a child of a grandchild of the document element, whatever the names of
// those ancestors. The name is compared as written in the answer, so a
// prefixed "ns:return" does not match "return".
//
// Returns the empty text on any failure: not XML, no document element, no
// such element. An answer carrying a document type declaration is refused
// (empty text), so no entity it defines, internal or external, is ever
// expanded or fetched; so is one nested deeper than SafeXml::kMaxDepth,
// before any document is built. Never shows a message and never throws.
QString GetResult(const QString& responseText, const QString& resultParam);

} // namespace Soap
