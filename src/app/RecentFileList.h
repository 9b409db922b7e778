#pragma once
// The recently used settings documents: at most four paths, most recent
// first, kept in the user's settings under "Recent File List" as
// File1-File4.
//
// Thread contract: UI thread only.

#include <QSettings>
#include <QString>
#include <QStringList>

namespace velmora {

class RecentFileList {
public:
    static constexpr int kMaxEntries = 4;
    static constexpr const char* kSection = "Recent File List";

    // The settings the list lives in: organisation "Hovelt", application
    // "Velmora", as an INI file in the user's configuration folder.
    static QSettings OpenSettings();

    void Load(QSettings& settings);
    void Save(QSettings& settings) const;
    void Load();
    void Save() const;

    // Puts the path at the top, removing an older entry for the same file
    // and the oldest entry beyond four.
    void Add(const QString& path);
    void Remove(int index);

    const QStringList& Entries() const { return m_entries; }

    // The text of entry `index` in the file menu: "&1 /path/file.ini", long
    // paths shortened in the middle.
    QString MenuText(int index) const;

private:
    QStringList m_entries;
};

} // namespace velmora
