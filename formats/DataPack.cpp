#include "formats/DataPack.h"
// (being written)
#include "common/RunError.h"
namespace eitool {
void ExtractDataPack(RunContext&, const std::string& path) { throw NotSupportedError(path + ": not yet"); }
std::int32_t InsertDataPack(RunContext&, const std::string& name, std::int32_t) { throw NotSupportedError(name + ": not yet"); }
std::string MakePiecePath(RunContext&, const std::string&, const std::string& r) { return r; }
bool RecoverDataPack(RunContext&, const std::string&) { return false; }
std::string DataPackJournalPath(const std::string& packPath) { return packPath + ".eitool-journal"; }
} // namespace eitool
