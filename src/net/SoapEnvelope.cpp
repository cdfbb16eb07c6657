// SOAP envelope builders and the depth-four result reader.
#include "net/SoapEnvelope.h"

#include "net/SafeXml.h"

#include <QDomDocument>
#include <QDomElement>

namespace {

QString escapeValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (QChar ch : value) {
        if (ch == QLatin1Char('&'))
            out += QLatin1String("&amp;");
        else if (ch == QLatin1Char('<'))
            out += QLatin1String("&lt;");
        else if (ch == QLatin1Char('>'))
            out += QLatin1String("&gt;");
        else
            out += ch;
    }
    return out;
}

} // namespace

namespace Soap {

QString GenerateSoapBodyStart() {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                          "<soap12:Envelope "
                          "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                          "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                          "xmlns:soap12=\"http://www.w3.org/2003/05/soap-envelope\"> "
                          "<soap12:Body>");
}

QString GenerateSoapFunctionCallStart(const QString& strFunction) {
    return QLatin1Char('<') + strFunction + QLatin1String(" xmlns=\"\">");
}

QString GenerateSoapParameter(const QString& strParam, const QString& strValue) {
    return QLatin1Char('<') + strParam + QLatin1Char('>') + escapeValue(strValue) +
           QLatin1String("</") + strParam + QLatin1Char('>');
}

QString GenerateSoapFunctionCallEnd(const QString& strFunction) {
    return QLatin1String("</") + strFunction + QLatin1Char('>');
}

QString GenerateSoapBodyEnd() {
    return QStringLiteral("</soap12:Body></soap12:Envelope>");
}

QString BuildSoapRequest(const QString& operation, const QList<SoapParam>& params) {
    QString request = GenerateSoapBodyStart() + GenerateSoapFunctionCallStart(operation);
    for (const SoapParam& p : params)
        request += GenerateSoapParameter(p.name, p.value);
    request += GenerateSoapFunctionCallEnd(operation) + GenerateSoapBodyEnd();
    return request;
}

QString GetResult(const QString& responseText, const QString& resultParam) {
    if (responseText.isEmpty() || resultParam.isEmpty() ||
        SafeXml::check(responseText) != SafeXml::Verdict::Accepted)
        return {};

    QDomDocument doc;
    // Without namespace processing tagName() is the name as written.
    if (!doc.setContent(responseText, false))
        return {};

    const QDomElement root = doc.documentElement();
    if (root.isNull())
        return {};
    // Nested in document order, so the first match is the XPath's first node.
    for (QDomElement child = root.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        for (QDomElement grandchild = child.firstChildElement(); !grandchild.isNull();
             grandchild = grandchild.nextSiblingElement()) {
            const QDomElement result = grandchild.firstChildElement(resultParam);
            if (!result.isNull())
                return result.text();
        }
    }
    return {};
}

} // namespace Soap
