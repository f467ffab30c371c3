#include "source/SchemaFiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

struct CKeyword {
    const char* pszName;
    CSchema::EKind eKind;
};

// The slapd.conf keywords and the LDIF attribute names (cn=config's and a
// subschema entry's) of each kind of definition.
constexpr CKeyword kConfKeywords[] = {
    {"attributetype", CSchema::kAttributeType},
    {"objectclass", CSchema::kObjectClass},
    {"ldapsyntax", CSchema::kSyntax},
    {"ditcontentrule", CSchema::kContentRule},
};
constexpr CKeyword kLdifAttributes[] = {
    {"olcAttributeTypes", CSchema::kAttributeType},
    {"olcObjectClasses", CSchema::kObjectClass},
    {"olcLdapSyntaxes", CSchema::kSyntax},
    {"olcDitContentRules", CSchema::kContentRule},
    {"attributeTypes", CSchema::kAttributeType},
    {"objectClasses", CSchema::kObjectClass},
    {"ldapSyntaxes", CSchema::kSyntax},
    {"matchingRules", CSchema::kMatchingRule},
    {"dITContentRules", CSchema::kContentRule},
};

void Add(CSchema& schema, CSchema::EKind eKind, const CString& definition, int* pnFailed) {
    if (!schema.AddDefinition(eKind, definition) && pnFailed)
        ++*pnFailed;
}

// "name value" of an objectIdentifier line.
void AddMacro(CSchema& schema, std::string_view rest) {
    std::istringstream in{std::string(rest)};
    std::string name, value;
    if (in >> name >> value)
        schema.AddOidMacro(CString(name), CString(value));
}

// Drops cn=config's ordering prefix "{12}".
std::string_view WithoutOrdinal(std::string_view value) {
    if (!value.empty() && value.front() == '{') {
        const size_t nEnd = value.find('}');
        if (nEnd != std::string_view::npos)
            value.remove_prefix(nEnd + 1);
    }
    return value;
}

std::string_view TrimmedLeft(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    return text;
}

} // namespace

void ReadSchemaConf(const CString& text, CSchema& schema, int* pnFailed) {
    // A statement runs on over the lines that start with white space.
    std::vector<std::string> statements;
    std::istringstream in(text.Str());
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if ((line[0] == ' ' || line[0] == '\t') && !statements.empty())
            statements.back() += " " + std::string(TrimmedLeft(line));
        else
            statements.push_back(line);
    }
    for (const std::string& statement : statements) {
        std::string_view view = statement;
        if (StartsWithNoCase(view, "objectidentifier")) {
            AddMacro(schema, view.substr(16));
            continue;
        }
        for (const CKeyword& keyword : kConfKeywords) {
            const std::string_view name = keyword.pszName;
            if (StartsWithNoCase(view, name) && view.size() > name.size() &&
                (view[name.size()] == ' ' || view[name.size()] == '\t')) {
                Add(schema, keyword.eKind, CString(TrimmedLeft(view.substr(name.size()))), pnFailed);
                break;
            }
        }
    }
}

void ReadSchemaLdif(const CString& text, CSchema& schema, int* pnFailed) {
    // Folded lines (RFC 2849) are joined first.
    std::vector<std::string> lines;
    std::istringstream in(text.Str());
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == ' ' && !lines.empty())
            lines.back() += line.substr(1);
        else
            lines.push_back(line);
    }
    for (const std::string& line : lines) {
        const size_t nColon = line.find(':');
        if (nColon == std::string::npos || line[0] == '#')
            continue;
        const std::string_view name = std::string_view(line).substr(0, nColon);
        std::string_view value = std::string_view(line).substr(nColon + 1);
        if (!value.empty() && value.front() == ':')
            continue; // base-64: definitions are plain text in every file we know
        value = WithoutOrdinal(TrimmedLeft(value));
        if (StartsWithNoCase(name, "olcObjectIdentifier") && name.size() == 19) {
            AddMacro(schema, value);
            continue;
        }
        for (const CKeyword& keyword : kLdifAttributes)
            if (name.size() == std::string_view(keyword.pszName).size() &&
                StartsWithNoCase(name, keyword.pszName)) {
                Add(schema, keyword.eKind, CString(value), pnFailed);
                break;
            }
    }
}

bool ReadSchemaFile(const CString& path, CSchema& schema, int* pnFailed) {
    std::ifstream file(path.Str(), std::ios::binary);
    if (!file)
        return false;
    std::ostringstream text;
    text << file.rdbuf();
    const std::string& name = path.Str();
    if (name.size() >= 5 && StartsWithNoCase(std::string_view(name).substr(name.size() - 5), ".ldif"))
        ReadSchemaLdif(CString(text.str()), schema, pnFailed);
    else
        ReadSchemaConf(CString(text.str()), schema, pnFailed);
    return true;
}

std::shared_ptr<const CSchema> LoadSchemaFolder(const CString& folder) {
    std::error_code ec;
    std::vector<std::filesystem::path> ldif, conf;
    for (const auto& item : std::filesystem::directory_iterator(folder.Str(), ec)) {
        if (!item.is_regular_file(ec))
            continue;
        if (item.path().extension() == ".ldif")
            ldif.push_back(item.path());
        else if (item.path().extension() == ".schema")
            conf.push_back(item.path());
    }
    std::vector<std::filesystem::path>& files = ldif.empty() ? conf : ldif;
    if (files.empty())
        return nullptr;
    // core first: the others build on it.
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
        const bool bCoreA = a.stem() == "core", bCoreB = b.stem() == "core";
        return bCoreA != bCoreB ? bCoreA : a < b;
    });
    auto pSchema = std::make_shared<CSchema>();
    for (const auto& path : files)
        ReadSchemaFile(CString(path.string()), *pSchema);
    if (pSchema->IsEmpty())
        return nullptr;
    AddBuiltinDefinitions(*pSchema);
    pSchema->Resolve();
    return pSchema;
}

std::shared_ptr<const CSchema> LocalSchema() {
    if (auto pSchema = LoadSchemaFolder(kLocalSchemaFolder))
        return pSchema;
    return BuiltinSchema();
}
