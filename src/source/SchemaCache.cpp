#include "source/SchemaCache.h"

#include <algorithm>

bool CSchemaCache::Begin() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bBegun)
        return false;
    m_bBegun = true;
    return true;
}

void CSchemaCache::Settle(std::shared_ptr<const CSchema> pSchema, std::vector<CString> extensions) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pSchema = std::move(pSchema);
    m_extensions = std::move(extensions);
    m_bBegun = true;
    m_bSettled = true;
}

bool CSchemaCache::IsBegun() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bBegun;
}

bool CSchemaCache::IsSettled() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bSettled;
}

std::shared_ptr<const CSchema> CSchemaCache::Get() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pSchema;
}

bool CSchemaCache::ListsExtension(const CString& oid) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::find(m_extensions.begin(), m_extensions.end(), oid) != m_extensions.end();
}
