#include "archive/ArchiveWriter.h"

// Stand-in until the archive writer lands.
class CStationArchive {};

CArchiveWriter::CArchiveWriter(CDatabase* database, std::string creatorName)
    : creatorName_(std::move(creatorName)), database_(database) {}
CArchiveWriter::~CArchiveWriter() = default;
void CArchiveWriter::SetDataDir(const char* directory) { dataDir_ = directory; }
void CArchiveWriter::AddSamples(const char*, const char*, double, EpochSeconds, int32_t,
                                const float*) {}
void CArchiveWriter::FlushAll() {}
void CArchiveWriter::RegisterNewFile(const char*, const char*, const char*, EpochSeconds,
                                     double, double, int32_t, int32_t) {}
void CArchiveWriter::UpdateExtendedFile(const char*, const char*, const char*, EpochSeconds,
                                        double, double, int32_t, int32_t) {}
