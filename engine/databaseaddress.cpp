#include "databaseaddress.h"

#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace {
const QStringList kSslModes = {QStringLiteral("disable"), QStringLiteral("allow"), QStringLiteral("prefer"),
    QStringLiteral("require"), QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
}

QString DatabaseAddress::toUrl() const
{
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setUserName(user);
    url.setHost(host);
    if (port != kDefaultPort)
        url.setPort(port);
    url.setPath(QLatin1Char('/') + databaseName);
    if (!sslMode.isEmpty())
        url.setQuery(QStringLiteral("sslmode=") + sslMode);
    return url.toString();
}

QString DatabaseAddress::displayName() const
{
    return QStringLiteral("%1:%2/%3").arg(host).arg(port).arg(databaseName);
}

DatabaseAddress DatabaseAddress::parse(const QString &text, QString *problem)
{
    const auto refuse = [problem](const QString &why) {
        if (problem)
            *problem = why;
        return DatabaseAddress();
    };
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("postgresql") && url.scheme() != QLatin1String("postgres")))
        return refuse(QStringLiteral("not a PostgreSQL address (postgresql://user@host:port/dbname)"));
    if (!url.password().isEmpty())
        return refuse(QStringLiteral("the address holds a password; give it in PGPASSWORD or ~/.pgpass instead"));
    DatabaseAddress address;
    address.user = url.userName();
    address.host = url.host();
    address.port = url.port(kDefaultPort);
    address.databaseName = url.path().mid(1);
    if (address.host.isEmpty())
        return refuse(QStringLiteral("the address names no host"));
    if (address.databaseName.isEmpty() || address.databaseName.contains(QLatin1Char('/')))
        return refuse(QStringLiteral("the address names no database (postgresql://user@host:port/dbname)"));
    if (address.port <= 0 || address.port > 65535)
        return refuse(QStringLiteral("the port is not between 1 and 65535"));
    const QUrlQuery query(url);
    for (const auto &item : query.queryItems(QUrl::FullyDecoded)) {
        if (item.first != QLatin1String("sslmode"))
            return refuse(QStringLiteral("unknown option %1 (only sslmode is taken)").arg(item.first));
        if (!kSslModes.contains(item.second))
            return refuse(QStringLiteral("sslmode must be one of %1").arg(kSslModes.join(QStringLiteral(", "))));
        address.sslMode = item.second;
    }
    if (problem)
        problem->clear();
    return address;
}
