// Reading of section "banco" of the settings file.
#include "store/DatabaseSettings.h"

#include "base/ReadWrite.h"

namespace DatabaseSettings {

namespace {

QString value(const char* key) {
    return ReadWrite::ReadIniValue(QStringLiteral("banco"), QString::fromLatin1(key));
}

} // namespace

QString Server::describe() const {
    const QString where = host.isEmpty() ? QStringLiteral("localhost") : host;
    return QStringLiteral("%1:%2/%3").arg(where).arg(port).arg(databaseName);
}

Settings read() {
    Settings settings;
    const QString type = value("tipo").toLower();
    if (type.isEmpty() || type == QLatin1String("sqlite"))
        return settings;
    if (type != QLatin1String("postgresql")) {
        settings.problem =
            QStringLiteral("O tipo de banco de dados \"%1\" da seção [banco] de dadav.ini não "
                           "é conhecido; use tipo=sqlite ou tipo=postgresql.")
                .arg(type);
        return settings;
    }
    settings.engine = Engine::Postgresql;
    settings.server.host = value("host");
    settings.server.databaseName = value("nome");
    settings.server.user = value("usuario");
    const QString port = value("porta");
    if (!port.isEmpty()) {
        bool ok = false;
        const uint number = port.toUInt(&ok);
        if (!ok || number == 0 || number > 65535) {
            settings.problem =
                QStringLiteral("A porta \"%1\" da seção [banco] de dadav.ini não é um número "
                               "de porta válido.")
                    .arg(port);
            return settings;
        }
        settings.server.port = static_cast<quint16>(number);
    }
    if (settings.server.databaseName.isEmpty())
        settings.problem = QStringLiteral("A seção [banco] de dadav.ini pede um servidor "
                                          "PostgreSQL, mas não dá o nome do banco (nome=).");
    return settings;
}

} // namespace DatabaseSettings
