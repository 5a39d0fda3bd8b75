#include "catalog/ChecksumStore.h"

#include <cstdio>

#include "odbc/DBException.h"
#include "odbc/Recordset.h"
#include "odbc/TextParameters.h"

namespace {

// Room for the block hashes of a file of 2 GiB.
constexpr SQLLEN kBlockHashesLength = 2048 * kHashDigits;

// One row of FILECHECKSUM as read (the length as text: the layer binds no 64-bit integers).
class CChecksumRow : public CRecordset {
  public:
    explicit CChecksumRow(CDatabase* database) : CRecordset(database) { fieldCount_ = 8; }
    std::string DefaultSQL() const override { return "FILECHECKSUM"; }
    void ExchangeFields(FieldExchange& exchange) override {
        exchange.SetFieldType(FieldExchange::kResultColumn);
        exchange.ExchangeText("CPATH", path, 255, SQL_VARCHAR, 0);
        exchange.ExchangeText("FLENGTH", length, 32, SQL_VARCHAR, 0);
        exchange.ExchangeText("ALGORITHM", algorithm, 16, SQL_VARCHAR, 0);
        exchange.ExchangeText("FHASH", fileHash, 64, SQL_VARCHAR, 0);
        exchange.ExchangeLong("BLOCKSIZE", blockSize);
        exchange.ExchangeText("BLOCKHASHES", blockHashes, kBlockHashesLength, SQL_VARCHAR, 0);
        exchange.ExchangeDouble("RECORDED", recorded);
        exchange.ExchangeDouble("VERIFIED", verified);
    }
    StoredChecksum Stored() const {
        StoredChecksum stored{path, std::nullopt, recorded, verified};
        FileChecksum checksum;
        char* end = nullptr;
        checksum.length = std::strtoll(length.c_str(), &end, 10);
        checksum.fileHash = fileHash;
        const int64_t blocks = (checksum.length + kChecksumBlockSize - 1) / kChecksumBlockSize;
        if (algorithm == kChecksumAlgorithm && blockSize == kChecksumBlockSize && !length.empty() &&
            *end == '\0' && fileHash.size() == kHashDigits &&
            SplitBlockHashes(blockHashes, checksum.blockHashes) &&
            static_cast<int64_t>(checksum.blockHashes.size()) == blocks) {
            stored.checksum = std::move(checksum);
        }
        return stored;
    }

    std::string path, length, algorithm, fileHash, blockHashes;
    int32_t blockSize = 0;
    double recorded = 0, verified = 0;
};

// The one value of a query such as a COUNT, as text.
class COneValue : public CRecordset {
  public:
    explicit COneValue(CDatabase* database) : CRecordset(database) { fieldCount_ = 1; }
    void ExchangeFields(FieldExchange& exchange) override {
        exchange.SetFieldType(FieldExchange::kResultColumn);
        exchange.ExchangeText("VALUE", value, 64, SQL_VARCHAR, 0);
    }
    std::string value;
};

std::string ChecksumTimeText(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

bool SaysTableIsMissing(const CDBException& error) {
    for (const char* state : {"State:42S02", "State:S0002", "State:42P01"}) {
        if (error.stateText.find(state) != std::string::npos) return true;
    }
    return error.errorText.find("no such table") != std::string::npos;
}

// The rows `filter` (with its parameters) selects, in `sort` order, while `more` says so.
template <typename More>
std::vector<StoredChecksum> ReadRows(CDatabase& database, std::string filter,
                                     std::vector<std::string> parameters, std::string sort,
                                     More more) {
    CChecksumRow set(&database);
    set.SetFilter(std::move(filter));
    set.SetFilterParameters(std::move(parameters));
    set.SetSort(std::move(sort));
    set.Open(CRecordset::kForwardOnly, nullptr, CRecordset::kReadOnly);
    std::vector<StoredChecksum> rows;
    for (; !set.IsEOF() && more(rows); set.MoveNext()) rows.push_back(set.Stored());
    set.Close();
    return rows;
}

}  // namespace

bool ChecksumTableExists(CDatabase& database) {
    try {
        ExecuteWithTextParameters(database, "SELECT CPATH FROM FILECHECKSUM WHERE 1=0", {});
        return true;
    } catch (const CDBException& error) {
        if (!SaysTableIsMissing(error)) throw;
    }
    return false;
}

void WriteChecksum(CDatabase& database, const std::string& path, const FileChecksum& checksum,
                   double now) {
    // One statement, a round trip less than a DELETE and an INSERT (the primary key on CPATH
    // finds the row to replace).
    const std::string when = ChecksumTimeText(now);
    ExecuteWithTextParameters(
        database,
        "INSERT INTO FILECHECKSUM (CPATH,FLENGTH,ALGORITHM,FHASH,BLOCKSIZE,BLOCKHASHES,"
        "RECORDED,VERIFIED) VALUES (?," +
            std::to_string(checksum.length) + ",'" + kChecksumAlgorithm + "',?," +
            std::to_string(kChecksumBlockSize) + ",?," + when + "," + when +
            ") ON CONFLICT (CPATH) DO UPDATE SET FLENGTH=excluded.FLENGTH,"
            "ALGORITHM=excluded.ALGORITHM,FHASH=excluded.FHASH,BLOCKSIZE=excluded.BLOCKSIZE,"
            "BLOCKHASHES=excluded.BLOCKHASHES,RECORDED=excluded.RECORDED,"
            "VERIFIED=excluded.VERIFIED",
        {path, checksum.fileHash, JoinedBlockHashes(checksum.blockHashes)});
}

void DeleteChecksum(CDatabase& database, const std::string& path) {
    ExecuteWithTextParameters(database, "DELETE FROM FILECHECKSUM WHERE CPATH=?", {path});
}

void MarkVerified(CDatabase& database, const std::vector<std::string>& paths, double now) {
    if (paths.empty()) return;
    std::string markers;
    for (std::size_t i = 0; i < paths.size(); ++i) markers += i == 0 ? "?" : ",?";
    ExecuteWithTextParameters(database,
                              "UPDATE FILECHECKSUM SET VERIFIED=" + ChecksumTimeText(now) +
                                  " WHERE CPATH IN (" + markers + ")",
                              paths);
}

std::vector<StoredChecksum> ReadDueChecksums(CDatabase& database, std::optional<double> before,
                                             std::optional<int64_t> budget) {
    int64_t taken = 0;
    return ReadRows(database, before ? "VERIFIED<" + ChecksumTimeText(*before) : "", {},
                    "VERIFIED,CPATH", [&](const std::vector<StoredChecksum>& rows) {
                        if (!rows.empty() && rows.back().checksum) {
                            taken += rows.back().checksum->length;
                        }
                        return !budget || taken < *budget;
                    });
}

std::vector<StoredChecksum> ReadChecksums(CDatabase& database,
                                          const std::vector<std::string>& paths) {
    std::vector<StoredChecksum> rows;
    // A bounded number of markers per statement.
    constexpr std::size_t kPerStatement = 64;
    for (std::size_t first = 0; first < paths.size(); first += kPerStatement) {
        const std::size_t end = std::min(paths.size(), first + kPerStatement);
        std::string markers;
        for (std::size_t i = first; i < end; ++i) markers += i == first ? "?" : ",?";
        for (StoredChecksum& row :
             ReadRows(database, "CPATH IN (" + markers + ")",
                      std::vector<std::string>(paths.begin() + first, paths.begin() + end), "CPATH",
                      [](const auto&) { return true; })) {
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

std::optional<std::vector<StoredChecksum>> ReadChecksumsIfKept(
    CDatabase& database, const std::vector<std::string>& paths) {
    try {
        return ReadChecksums(database, paths);
    } catch (const CDBException& error) {
        if (!SaysTableIsMissing(error)) throw;
        return std::nullopt;
    }
}

std::vector<std::string> ChecksummedPaths(CDatabase& database) {
    std::vector<std::string> paths;
    for (const StoredChecksum& row :
         ReadRows(database, "", {}, "CPATH", [](const auto&) { return true; })) {
        paths.push_back(row.path);
    }
    return paths;
}

int64_t CountFilesWithoutChecksum(CDatabase& database) {
    COneValue set(&database);
    set.Open(CRecordset::kForwardOnly,
             "SELECT COUNT(*) FROM FILELIST WHERE NOT EXISTS (SELECT 1 FROM FILECHECKSUM WHERE "
             "FILECHECKSUM.CPATH=FILELIST.CPATH)",
             CRecordset::kReadOnly);
    const int64_t count = set.IsEOF() ? 0 : std::strtoll(set.value.c_str(), nullptr, 10);
    set.Close();
    return count;
}
