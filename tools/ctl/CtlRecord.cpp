#include "CtlRecord.h"

#include <cstdio>
#include <memory>

#include "panelcore/PanelSession.h"
#include "protocol/GeneratorLink.h"
#include "record/RecordPlace.h"
#include "record/RecordWriter.h"

namespace velmora::ctl {

namespace {

struct Record {
    std::unique_ptr<RecordWriter> writer;
    std::unique_ptr<RunRecorder> recorder;
    bool tried = false;
};

Record& TheRecord()
{
    static Record record;
    return record;
}

} // namespace

RunRecorder* CtlRecorder(const Invocation& inv, const char* source, bool alarmsOnly)
{
    Record& r = TheRecord();
    if (r.tried)
        return r.recorder.get();
    r.tried = true;
    if (!inv.record)
        return nullptr;
    RecordWriter::Options options;
    options.path = DefaultRecordPath();
    if (options.path.empty())
        return nullptr;
    options.source = source;
    if (inv.recordLimit)
        options.limitBytes = *inv.recordLimit;
    // The writer's thread says it; stderr takes a line from any thread.
    options.report = [](const std::string& line) { std::fprintf(stderr, "velmoractl: %s\n", line.c_str()); };
    r.writer = std::make_unique<RecordWriter>(std::move(options));
    r.recorder = std::make_unique<RunRecorder>(*r.writer, source, alarmsOnly);
    return r.recorder.get();
}

void RecordThrough(GeneratorLink& link, const Invocation& inv)
{
    RunRecorder* recorder = CtlRecorder(inv);
    if (recorder != nullptr)
        recorder->SetPort(inv.port);
    link.SetRecorder(recorder);
}

void RecordThrough(PanelSession& session, const Invocation& inv, const char* source, bool alarmsOnly)
{
    RunRecorder* recorder = CtlRecorder(inv, source, alarmsOnly);
    if (recorder != nullptr)
        recorder->SetPort(inv.port);
    session.SetRecorder(recorder);
}

void CloseRecord()
{
    Record& r = TheRecord();
    r.recorder.reset();
    r.writer.reset();
}

} // namespace velmora::ctl
