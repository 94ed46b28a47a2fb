// Fuzzes the settings store: any bytes as a settings file must load without a crash
// or a leak, save again, and come back from that save as the same file; any bytes
// as a value must survive the escapes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/File.h"
#include "settings/IniFile.h"
#include "tests/fuzz/FuzzFolder.h"
#include "tests/support/TreeFiles.h"

namespace {

const CFuzzFolder& Folder() {
    static CFuzzFolder folder("velkaron-fuzz-ini");
    return folder;
}

void Check(bool bCondition, const char* what) {
    if (bCondition) return;
    std::fprintf(stderr, "ini fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    std::string value = input;
    CIniFile::EscapeValue(value);
    CIniFile::UnescapeValue(value);
    Check(value == input, "escaping and unescaping changed a value");

    const std::string inPath = Folder() / "in.ini";
    {
        CFile file;
        Check(file.Open(inPath, CFile::modeCreate | CFile::modeWrite), "cannot write the input file");
        Check(file.Write(input.data(), input.size()) && file.Close(), "cannot write the input file");
    }

    CIniFile store;
    Check(store.Load(inPath), "Load failed on an existing file");
    Check(store.Save(Folder() / "out.ini"), "Save failed after Load");

    // Whatever the input, what Save wrote is read back as the same content: saving it
    // again gives the same bytes.
    const std::string saved = ReadFileBytes(Folder() / "out.ini");
    CIniFile again;
    Check(again.Load(Folder() / "out.ini"), "Load failed on a saved file");
    Check(again.Save(Folder() / "again.ini"), "Save failed after loading a saved file");
    Check(ReadFileBytes(Folder() / "again.ini") == saved, "a saved file does not load back as the same content");
    return 0;
}
