#pragma once

#include <QObject>
#include <QString>

#include "settings/EngineParameters.h"
#include "settings/SettingsFile.h"

// The setting values the program runs with, the map key among them, and the settings file they
// are kept in. Every window that uses a value reads it here and follows Changed; the settings
// window edits a copy of its own and hands it back when the user confirms it. The values are all
// zero until the first load.
class TSettingsModel final : public QObject {
    Q_OBJECT

  public:
    explicit TSettingsModel(QObject *parent = nullptr);

    const TSettingsValues &Values() const { return values_; }
    QString MapKey() const { return values_.GoogleKey; }
    // The parameters the ping engine takes from the values.
    TEngineParameters Engine() const { return EngineParameters(values_); }

    // At the first start: when there is no settings file, makes its folder, takes the standard
    // set (Changed follows) and writes it. Throws TxError("Unable to write to <path>: <cause>")
    // when the file cannot be written; the standard set is held all the same.
    void CreateFileWhenMissing();

    // Reads the settings file and its service addresses. Returns false, changing nothing, when
    // there is no file. Loaded follows every read, Changed only a read that brought other values
    // than those held. Throws TxError when the file exists but cannot be read.
    bool Load();

    // Writes the values held that differ from those last read or written (all of them before
    // the first read). Throws TxError("Unable to write to <path>: <cause>").
    void Save();

    // The values a confirmed settings window hands back (their map key is not theirs to change:
    // the one held stays). Writes them, then holds them and tells Changed, also when they equal
    // those held, since a confirmation applies them again. A failed write throws as Save does
    // and leaves the values held as they were.
    void Apply(const TSettingsValues &values);

    // The key typed in the map window. Held at once, written by the next Save; no notice, since
    // its one reader asks for it each time it opens.
    void SetMapKey(const QString &key);

  signals:
    // The values differ from those held before, or a confirmation applied them.
    void Changed();
    // The settings file was read, whether or not it brought anything new: a copy left with
    // unconfirmed edits gives way to it.
    void Loaded();

  private:
    TSettingsValues values_;
    // What this program last read from the file or wrote into it: a save writes only what
    // differs from it, so that another program's changes to other entries stay.
    TSettingsValues stored_;
    bool hasStored_ = false;
};
