#include "sorrel/store/PstDescriptorIndex.h"

#include "sorrel/store/PstLibrary.h"

#include <QMutexLocker>

#include <unordered_map>

namespace {

struct DescriptorMap {
    // The tree head the map was built from: a different head means the
    // structure was reused for another file and the map is stale.
    pst_desc_tree* head = nullptr;
    std::unordered_map<uint64_t, pst_desc_tree*> nodes;
};

std::unordered_map<pst_file*, DescriptorMap>& registry()
{
    static auto* maps = new std::unordered_map<pst_file*, DescriptorMap>;
    return *maps;
}

// Depth-first pre-order successor within the whole tree.
pst_desc_tree* nextNode(pst_desc_tree* node)
{
    if (node->child)
        return node->child;
    while (node && !node->next)
        node = node->parent;
    return node ? node->next : nullptr;
}

size_t countNodes(pst_desc_tree* head)
{
    size_t count = 0;
    for (pst_desc_tree* n = head; n; n = nextNode(n))
        ++count;
    return count;
}

DescriptorMap& buildMap(pst_file* pf)
{
    DescriptorMap& map = registry()[pf];
    map.head = pf->d_head;
    map.nodes.clear();
    map.nodes.reserve(countNodes(pf->d_head));
    for (pst_desc_tree* n = pf->d_head; n; n = nextNode(n))
        map.nodes.emplace(n->d_id, n);
    return map;
}

} // namespace

void pstIndexDescriptors(pst_file* pf)
{
    if (!pf)
        return;
    QMutexLocker lock(&pstLibraryMutex());
    buildMap(pf);
}

pst_desc_tree* pstFindDescriptor(pst_file* pf, uint64_t descId)
{
    if (!pf || !pf->d_head)
        return nullptr;
    QMutexLocker lock(&pstLibraryMutex());
    auto it = registry().find(pf);
    DescriptorMap& map = (it == registry().end() || it->second.head != pf->d_head) ? buildMap(pf) : it->second;
    auto hit = map.nodes.find(descId);
    if (hit != map.nodes.end())
        return hit->second;
    for (pst_desc_tree* n = pf->d_head; n; n = nextNode(n)) {
        if (n->d_id == descId) {
            map.nodes.emplace(descId, n);
            return n;
        }
    }
    return nullptr;
}

void pstForgetDescriptors(pst_file* pf)
{
    QMutexLocker lock(&pstLibraryMutex());
    registry().erase(pf);
}

pst_desc_tree* pstTopOfFolders(pst_file* pf, const pst_item* root)
{
    if (!pf)
        return nullptr;
    QMutexLocker lock(&pstLibraryMutex());
    const pst_entryid* top = (root && root->message_store) ? root->message_store->top_of_personal_folder : nullptr;
    if (top) {
        if (pst_desc_tree* node = pstFindDescriptor(pf, top->id))
            return node;
    }
    // Everything else (OST stores, a missing node that libpst replaces by a
    // stand-in gathering orphaned children) is libpst's own decision.
    return pst_getTopOfFolders(pf, root);
}
