#pragma once
// velmoractl's run record: one writer for the whole run, made when the first
// command asks for it, written out and closed when the command is done.
// Commands that change an output record what they send (source "ctl"),
// serve records as "serve", and monitor keeps alarms only.

#include "Commands.h"
#include "record/RunRecorder.h"

namespace velmora {
class GeneratorLink;
class PanelSession;
} // namespace velmora

namespace velmora::ctl {

// The run's recorder, made on the first call with `source` and
// `alarmsOnly`; null with --no-record or without a place for the record.
RunRecorder* CtlRecorder(const Invocation& inv, const char* source = record_source::kCtl, bool alarmsOnly = false);
// The same, attached to a link or a session.
void RecordThrough(GeneratorLink& link, const Invocation& inv);
void RecordThrough(PanelSession& session, const Invocation& inv, const char* source = record_source::kCtl,
                   bool alarmsOnly = false);
// Writes what waits and closes the record; main calls it once the command
// has returned and every link it made is gone.
void CloseRecord();

} // namespace velmora::ctl
