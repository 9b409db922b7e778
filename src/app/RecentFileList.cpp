#include "app/RecentFileList.h"

#include <QFileInfo>

#include <algorithm>

namespace velmora {

namespace {

// Longer paths lose their middle in the menu so that the menu stays narrow.
constexpr int kMaxMenuPathChars = 60;

QString Normalised(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

QSettings RecentFileList::OpenSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Hovelt"), QStringLiteral("Velmora"));
}

void RecentFileList::Load(QSettings& settings)
{
    m_entries.clear();
    settings.beginGroup(QLatin1String(kSection));
    for (int i = 1; i <= kMaxEntries; ++i) {
        const QString path = settings.value(QStringLiteral("File%1").arg(i)).toString();
        if (!path.isEmpty() && !m_entries.contains(path))
            m_entries << path;
    }
    settings.endGroup();
}

void RecentFileList::Save(QSettings& settings) const
{
    settings.beginGroup(QLatin1String(kSection));
    for (int i = 1; i <= kMaxEntries; ++i) {
        const QString key = QStringLiteral("File%1").arg(i);
        if (i <= m_entries.size())
            settings.setValue(key, m_entries[i - 1]);
        else
            settings.remove(key);
    }
    settings.endGroup();
    settings.sync();
}

void RecentFileList::Load()
{
    QSettings settings = OpenSettings();
    Load(settings);
}

void RecentFileList::Save() const
{
    QSettings settings = OpenSettings();
    Save(settings);
}

void RecentFileList::Add(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString full = Normalised(path);
    m_entries.removeAll(full);
    m_entries.prepend(full);
    while (m_entries.size() > kMaxEntries)
        m_entries.removeLast();
}

void RecentFileList::Remove(int index)
{
    if (index >= 0 && index < m_entries.size())
        m_entries.removeAt(index);
}

QString RecentFileList::MenuText(int index) const
{
    if (index < 0 || index >= m_entries.size())
        return {};
    QString path = m_entries[index];
    if (path.size() > kMaxMenuPathChars) {
        const QString name = QFileInfo(path).fileName();
        const int keep = std::max(0, kMaxMenuPathChars - static_cast<int>(name.size()) - 4);
        path = path.left(keep) + QStringLiteral("...") + QLatin1Char('/') + name;
    }
    // An ampersand in a file name would otherwise become a mnemonic.
    path.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(path);
}

} // namespace velmora
