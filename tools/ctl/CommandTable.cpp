#include "Commands.h"

namespace velmora::ctl {

// Implemented in the Cmd*.cpp files beside this one.
int RunVersion(const Invocation&);
int RunChannels(const Invocation&);
int RunSettings(const Invocation&);
int RunSet(const Invocation&);
int RunStatus(const Invocation&);
int RunReport(const Invocation&);
int RunMonitor(const Invocation&);
int RunTable(const Invocation&);
int RunAuto(const Invocation&);
int RunAdjust(const Invocation&);
int RunFirmware(const Invocation&);
int RunCalibration(const Invocation&);
int RunServe(const Invocation&);
int RunScpi(const Invocation&);
int RunRecord(const Invocation&);
int RunLoopCheck(const Invocation&);

const std::vector<Command>& CommandTable()
{
    static const std::vector<Command> table = {
        {"version", "version [--json]", true, RunVersion, true},
        {"channels", "channels [--json]", true, RunChannels, true},
        {"set", "set CH --range R [--value V] [--on|--off]", true, RunSet},
        {"status", "status [CH] [--json]", true, RunStatus, true},
        {"report", "report [--json]", true, RunReport, true},
        {"monitor", "monitor [--seconds N] [--json]", true, RunMonitor, true},
        {"auto", "auto CH[,CH...] --settings FILE [--csv CSV] [--on] [--seconds N] [--json]", true, RunAuto, true},
        // One function for the rows of a name: the first argument chooses.
        {"adjust", "adjust show [CH] [--json]", true, RunAdjust, true},
        {"adjust", "adjust set CH RANGE [--select N] [--min Z] [--max G] [--store]", true, RunAdjust},
        {"adjust", "adjust test CH RANGE --point 0|1|2 [--min Z] [--max G] [--seconds N | --leave-on]", true,
         RunAdjust},
        {"adjust", "adjust init --yes", true, RunAdjust},
        {"settings", "settings show FILE [--json]", false, RunSettings, true},
        {"settings", "settings new OUT --channels N", false, RunSettings},
        {"table", "table check CSV [--range R | --conv MIN MAX DECIMALS] [--json]", false, RunTable, true},
        {"firmware", "firmware info FILE [--json]", false, RunFirmware, true},
        {"firmware", "firmware update FILE [--yes]", false, RunFirmware},
        {"firmware", "firmware bridge [--json]", false, RunFirmware, true},
        {"calibration", "calibration export FILE --serial SN", true, RunCalibration},
        {"calibration", "calibration import FILE --serial SN", true, RunCalibration},
        {"serve", "serve [--scpi [HOST:]PORT [--scpi-allow CIDR[,CIDR...]]] [--settings FILE]", true, RunServe},
        {"scpi", "scpi [--host HOST[:PORT]] [--json] [COMMAND...]  (or --port PATH before it)", false, RunScpi, true},
        {"record", "record show [--since T] [--until T] [--channel N] [--kind K[,K...]] [--json]", false, RunRecord,
         true},
        {"record", "record follow [--since T] [--channel N] [--kind K[,K...]] [--json]", false, RunRecord, true},
        {"record", "record export OUT.csv|OUT.jsonl [--since T] [--until T] [--channel N] [--kind K[,K...]]", false,
         RunRecord},
        // The first row's port rule is the command's: only run needs one,
        // and checks it itself.
        {"loopcheck",
         "loopcheck tag add TAG --channel N --range KEY --lrv X --urv Y --unit TEXT [--sqrt] [--points P,P,...] "
         "[--down] [--tolerance PCT] [--adjust-limit PCT] [--settle S] [--decimals D] [--description TEXT] "
         "[--location TEXT]",
         false, RunLoopCheck},
        {"loopcheck", "loopcheck tag set TAG [the options of tag add, --linear, --adjust-limit none]", false,
         RunLoopCheck},
        {"loopcheck", "loopcheck tag remove TAG", false, RunLoopCheck},
        {"loopcheck", "loopcheck tag list [--json]", false, RunLoopCheck, true},
        {"loopcheck", "loopcheck tag import CSV|-", false, RunLoopCheck},
        {"loopcheck", "loopcheck tag export CSV|-", false, RunLoopCheck},
        {"loopcheck",
         "loopcheck run TAG --technician NAME [--as-left] [--readings FILE|-] [--remark TEXT] "
         "[--supersedes ID --reason TEXT] [--json]",
         true, RunLoopCheck, true},
        {"loopcheck", "loopcheck history TAG [--json]", false, RunLoopCheck, true},
        {"loopcheck", "loopcheck verify", false, RunLoopCheck},
        {"loopcheck", "loopcheck report RESULT|TAG OUT.pdf|OUT.html|OUT.csv [--tag]", false, RunLoopCheck},
    };
    return table;
}

} // namespace velmora::ctl
