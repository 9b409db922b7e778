// Bytes of a CSV file chosen for an arbitrary table: read line by line and
// field by field, loaded into the table, checked and stored; the fields of
// the first line are also typed into the settings dialog's five edits. Nothing
// may read outside the bytes or the table, and every number that reaches a
// stored integer must have been in range.
#include <string>
#include <string_view>

#include "FuzzTarget.h"
#include "autoout/ArbitraryTable.h"
#include "autoout/AutoOutSettingsRules.h"
#include "autoout/CsvFile.h"

using namespace velmora;

namespace {

void ReadEveryField(std::string_view bytes, AutoOutFieldTexts& firstLine)
{
    CsvReader reader(bytes);
    int falses = 0;
    bool first = true;
    // An empty line answers false but is passed; the end answers false for
    // good, and the count of falses ends the loop there.
    while (falses < 64) {
        if (!reader.ReadRow()) {
            ++falses;
            continue;
        }
        std::string text;
        const int count = reader.FieldCount();
        // Backwards once, to drive the reader's cursor back to the start.
        for (int j = count < 8 ? count : 8; j >= 0; --j)
            (void)reader.GetField(j, text);
        (void)reader.GetField(-1, text);
        if (first) {
            std::string* edits[] = {&firstLine.start, &firstLine.end, &firstLine.step, &firstLine.interval,
                                    &firstLine.repeat};
            for (int j = 0; j < 5; ++j)
                (void)reader.GetField(j, *edits[j]);
            first = false;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    AutoOutFieldTexts texts;
    ReadEveryField(bytes, texts);

    ArbitraryTable table;
    (void)LoadCsvIntoTable(table, bytes);
    ArbitraryPoints points{};
    for (const RangeInfo limits : {RangeInfo{4.0, 20.0, 3}, RangeInfo{100.0, 0.0, 1}}) {
        if (CheckTable(table, limits.lower, limits.upper).error == TableError::None)
            (void)StoreTable(table, points);
        for (std::int32_t mode = -1; mode <= 3; ++mode)
            (void)CheckAutoOutFields(mode, texts, limits);
    }
    for (AutoOutField field : {AutoOutField::Start, AutoOutField::Interval, AutoOutField::Repeat})
        (void)NormaliseAutoOutField(field, texts.start, 3);
    (void)ParseWholeInteger(texts.repeat);
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    return {
        "4,1.5\r\n12,0.5\r\n20,2\r\n",
        "\"4\",\"1.5\"\n45\",2\n1,000\n",
        // The octal \100 (0x40) ends by itself before the digit 8.
        " 12 ,\t0.5 \n\x81\1008\x81\x40,1\n\n5,1\n",
        "0x10,1e1,nan,inf,-0\n\x83\x41\",\"\x82\xA0\n\r\n",
        "5,1,extra,fields,,,\n6\n,7\n\"\n",
    };
}
