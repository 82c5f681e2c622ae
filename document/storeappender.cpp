#include "storeappender.h"

#include <QTextDocument>
#include <QTextLayout>

#include <private/qfragmentmap_p.h>
#include <private/qtextdocument_p.h>
#include <private/qtextengine_p.h>

// The store's trees and text are the document's private parts, and the functions that keep
// the trees balanced are private to the tree. An explicit instantiation may name private
// members (access is not checked there); each Unlock below hands one of them out through a
// friend function, so that the appender can do what the store's own insertions do.
namespace {

template <typename Tag, typename Tag::type Member>
struct Unlock {
    friend typename Tag::type unlocked(Tag) { return Member; }
};

struct TextOf {
    using type = QString QTextDocumentPrivate::*;
    friend type unlocked(TextOf);
};
template struct Unlock<TextOf, &QTextDocumentPrivate::text>;

struct RevisionOf {
    using type = int QTextDocumentPrivate::*;
    friend type unlocked(RevisionOf);
};
template struct Unlock<RevisionOf, &QTextDocumentPrivate::revision>;

struct AdjustOf {
    using type = void (QTextDocumentPrivate::*)(int, int, QTextUndoCommand::Operation);
    friend type unlocked(AdjustOf);
};
template struct Unlock<AdjustOf, &QTextDocumentPrivate::adjustDocumentChangesAndCursors>;

// The same for the two trees' private parts, one tag each (a friend declared in a template
// would not be a template itself).
template <class Fragment>
struct TreeTags;

template <>
struct TreeTags<QTextFragmentData> {
    using Tree = QFragmentMapData<QTextFragmentData>;
    struct Data {
        using type = Tree QFragmentMap<QTextFragmentData>::*;
        friend type unlocked(Data);
    };
    struct Create {
        using type = uint (Tree::*)();
        friend type unlocked(Create);
    };
    struct Rebalance {
        using type = void (Tree::*)(uint);
        friend type unlocked(Rebalance);
    };
};

template <>
struct TreeTags<QTextBlockData> {
    using Tree = QFragmentMapData<QTextBlockData>;
    struct Data {
        using type = Tree QFragmentMap<QTextBlockData>::*;
        friend type unlocked(Data);
    };
    struct Create {
        using type = uint (Tree::*)();
        friend type unlocked(Create);
    };
    struct Rebalance {
        using type = void (Tree::*)(uint);
        friend type unlocked(Rebalance);
    };
};

template struct Unlock<TreeTags<QTextFragmentData>::Data, &QFragmentMap<QTextFragmentData>::data>;
template struct Unlock<TreeTags<QTextFragmentData>::Create, &QFragmentMapData<QTextFragmentData>::createFragment>;
template struct Unlock<TreeTags<QTextFragmentData>::Rebalance, &QFragmentMapData<QTextFragmentData>::rebalance>;
template struct Unlock<TreeTags<QTextBlockData>::Data, &QFragmentMap<QTextBlockData>::data>;
template struct Unlock<TreeTags<QTextBlockData>::Create, &QFragmentMapData<QTextBlockData>::createFragment>;
template struct Unlock<TreeTags<QTextBlockData>::Rebalance, &QFragmentMapData<QTextBlockData>::rebalance>;

template <class Fragment>
QFragmentMapData<Fragment> &treeOf(QFragmentMap<Fragment> &map)
{
    return map.*unlocked(typename TreeTags<Fragment>::Data {});
}

bool isSeparator(QChar c)
{
    return c == QChar::ParagraphSeparator || c == QTextBeginningOfFrame || c == QTextEndOfFrame;
}

// Adds delta to a node's size and to the left sizes of the nodes whose left subtree holds it,
// as the tree's setSize does, up to `last` (0: the root): the nodes above it have the node on
// their right.
template <class Fragment>
void grow(QFragmentMapData<Fragment> &tree, uint node, int delta, uint last)
{
    tree.F(node).size_array[0] += delta;
    for (uint child = node, above = tree.F(node).parent; above && child != last; child = above, above = tree.F(above).parent) {
        if (tree.F(above).left == child)
            tree.F(above).size_left_array[0] += delta;
    }
}

// A new node of `size` (1 in the other fields), as the tree's insert_single makes it, placed
// as the right child of `parent` (which has none), or as the left child when `left`; the left
// sizes above it are counted up to `last` (0: the root), as in grow().
template <class Fragment>
uint addNode(QFragmentMapData<Fragment> &tree, uint parent, bool left, uint size, uint last)
{
    const uint node = (tree.*unlocked(typename TreeTags<Fragment>::Create {}))();
    Fragment &f = tree.F(node);
    f.left = 0;
    f.right = 0;
    f.parent = parent;
    f.size_array[0] = size;
    for (uint field = 1; field < Fragment::size_array_max; ++field)
        f.size_array[field] = 1;
    for (uint field = 0; field < Fragment::size_array_max; ++field)
        f.size_left_array[field] = 0;
    if (left)
        tree.F(parent).left = node;
    else
        tree.F(parent).right = node;
    // Every node above whose left subtree now holds it counts it there.
    for (uint child = node, above = parent; above && child != last; child = above, above = tree.F(above).parent) {
        if (tree.F(above).left == child) {
            for (uint field = 0; field < Fragment::size_array_max; ++field)
                tree.F(above).size_left_array[field] += f.size_array[field];
        }
    }
    (tree.*unlocked(typename TreeTags<Fragment>::Rebalance {}))(node);
    return node;
}

// Checks one subtree; returns its sums in every field and its black height, or -1 in `black`
// when something is wrong (`why` says what).
template <class Fragment>
struct Sums {
    quint64 size[Fragment::size_array_max] = {};
    int black = 0;
    int nodes = 0;
};

template <class Fragment>
Sums<Fragment> checkSubtree(const QFragmentMapData<Fragment> &tree, uint node, uint parent, int depth, QString &why)
{
    Sums<Fragment> sums;
    if (!node || !why.isEmpty())
        return sums;
    if (depth > 200 || node >= tree.head->allocated) {
        why = QStringLiteral("a node outside the tree");
        return sums;
    }
    const Fragment &f = tree.F(node);
    if (f.parent != parent) {
        why = QStringLiteral("a node whose parent does not hold it");
        return sums;
    }
    const Sums<Fragment> left = checkSubtree(tree, f.left, node, depth + 1, why);
    const Sums<Fragment> right = checkSubtree(tree, f.right, node, depth + 1, why);
    if (!why.isEmpty())
        return sums;
    if (left.black != right.black) {
        why = QStringLiteral("paths of different black heights");
        return sums;
    }
    if (f.color == 0 && ((f.left && tree.F(f.left).color == 0) || (f.right && tree.F(f.right).color == 0))) {
        why = QStringLiteral("a red node with a red child");
        return sums;
    }
    for (int field = 0; field < Fragment::size_array_max; ++field) {
        if (f.size_left_array[field] != left.size[field]) {
            why = QStringLiteral("a left size that is not the left subtree's");
            return sums;
        }
        sums.size[field] = left.size[field] + f.size_array[field] + right.size[field];
    }
    sums.black = left.black + (f.color == 1 ? 1 : 0);
    sums.nodes = left.nodes + right.nodes + 1;
    return sums;
}

template <class Fragment>
Sums<Fragment> checkTree(const QFragmentMapData<Fragment> &tree, QString &why)
{
    const uint root = tree.head->root;
    if (root && tree.F(root).color != 1)
        why = QStringLiteral("a red root");
    const Sums<Fragment> sums = checkSubtree(tree, root, 0, 0, why);
    if (why.isEmpty() && quint32(sums.nodes) != tree.head->node_count)
        why = QStringLiteral("a node count that is not the tree's");
    return sums;
}

void invalidateLayout(const QTextBlockData &block)
{
    if (block.layout)
        block.layout->engine()->invalidate();
}

} // namespace

StoreAppender::StoreAppender(QTextDocument &document)
    : m_document(document)
    , m_store(QTextDocumentPrivate::get(&document))
{
    m_usable = !m_store->isUndoRedoEnabled() && m_store->maximumBlockCount <= 0 && m_store->length() > 0;
}

StoreAppender::~StoreAppender()
{
    finish();
}

bool StoreAppender::formatHasObject(int format) const
{
    if (format == m_plainFormat)
        return false;
    if (m_store->formatCollection()->format(format).objectIndex() != -1)
        return true;
    m_plainFormat = format;
    return false;
}

bool StoreAppender::acceptsBreak(int blockFormat, int charFormat) const
{
    return m_usable && !formatHasObject(blockFormat) && !formatHasObject(charFormat);
}

bool StoreAppender::acceptsText(int charFormat) const
{
    return m_usable && !formatHasObject(charFormat);
}

int StoreAppender::position() const
{
    return m_store->length() - 1;
}

void StoreAppender::begin()
{
    if (m_last)
        return;
    if (!m_store->isInEditBlock()) {
        m_store->beginEditBlock();
        m_ownEditBlock = true;
    }
    m_from = position();
    // The final paragraph separator is the last fragment and stays so; what is appended goes
    // right before it, after the fragment that is before it now; the last paragraph is the
    // tree's last node, as each new one will be.
    auto &fragments = treeOf(m_store->fragmentMap());
    auto &blocks = treeOf(m_store->blockMap());
    m_last = fragments.maximum(fragments.root());
    m_beforeLast = fragments.previous(m_last);
    m_lastBlock = blocks.maximum(blocks.root());
}

// Right before the final separator: its left child, or the right child of the node before it,
// which then has none. Only the separator's left size changes: it is the tree's last node, so
// every node above it has it on its right.
uint StoreAppender::addBeforeLast(uint size)
{
    auto &fragments = treeOf(m_store->fragmentMap());
    const bool left = !fragments.F(m_last).left;
    Q_ASSERT(left || !fragments.F(m_beforeLast).right);
    const uint node = addNode(fragments, left ? m_last : m_beforeLast, left, size, m_last);
    m_beforeLast = node;
    return node;
}

void StoreAppender::appendText(QStringView text, int charFormat)
{
    Q_ASSERT(m_usable);
    if (text.isEmpty())
        return;
    begin();
    QString &buffer = m_store->*unlocked(TextOf {});
    auto &fragments = treeOf(m_store->fragmentMap());
    auto &blocks = treeOf(m_store->blockMap());
    const uint length = uint(text.size());
    // Text that goes on from the fragment before, in its format, joins it, as the store unites
    // fragments after an insertion.
    const QTextFragmentData *joined = m_beforeLast ? fragments.fragment(m_beforeLast) : nullptr;
    if (joined && joined->format == charFormat && uint(joined->stringPosition) + joined->size_array[0] == uint(buffer.size())
        && !isSeparator(buffer.at(joined->stringPosition))) {
        grow(fragments, m_beforeLast, int(length), m_last);
    } else {
        QTextFragmentData &f = *fragments.fragment(addBeforeLast(length));
        f.stringPosition = int(buffer.size());
        f.format = charFormat;
    }
    buffer.append(text);
    // The last paragraph is the tree's last node: no node has it on its left.
    grow(blocks, m_lastBlock, int(length), m_lastBlock);
    invalidateLayout(*blocks.fragment(m_lastBlock));
    m_added += int(length);
}

void StoreAppender::appendBreak(int blockFormat, int charFormat)
{
    Q_ASSERT(m_usable);
    begin();
    QString &buffer = m_store->*unlocked(TextOf {});
    auto &fragments = treeOf(m_store->fragmentMap());
    auto &blocks = treeOf(m_store->blockMap());

    // The separator: a fragment of its own before the final one.
    QTextFragmentData &f = *fragments.fragment(addBeforeLast(1));
    f.stringPosition = int(buffer.size());
    f.format = charFormat;
    buffer.append(QChar::ParagraphSeparator);

    // The last paragraph ends at it, keeping its length (its text and a separator); the final
    // separator goes to a new last paragraph of its own, the tree's new last node.
    const uint ended = m_lastBlock;
    const bool atBlockStart = blocks.F(ended).size_array[0] == 1;
    const int oldRevision = blocks.fragment(ended)->revision;
    const int revision = m_store->*unlocked(RevisionOf {});
    m_lastBlock = addNode(blocks, ended, false, 1, ended);
    QTextBlockData &b = *blocks.fragment(m_lastBlock);
    b.initialize();
    b.format = blockFormat;
    // The revisions the store gives the two paragraphs a break at the end of the first makes.
    QTextBlockData &first = *blocks.fragment(ended);
    first.revision = atBlockStart ? revision : oldRevision;
    b.revision = atBlockStart ? oldRevision : revision;
    invalidateLayout(first);
    m_added += 1;
}

void StoreAppender::finish()
{
    if (m_added > 0)
        (m_store->*unlocked(AdjustOf {}))(m_from, m_added, QTextUndoCommand::MoveCursor);
    m_from = -1;
    m_added = 0;
    m_last = 0;
    if (m_ownEditBlock) {
        m_ownEditBlock = false;
        m_store->endEditBlock();
    }
}

QString StoreAppender::storeFault(const QTextDocument &document)
{
    auto *store = const_cast<QTextDocumentPrivate *>(QTextDocumentPrivate::get(&document));
    const QString &buffer = store->*unlocked(TextOf {});
    auto &fragments = treeOf(store->fragmentMap());
    auto &blocks = treeOf(store->blockMap());
    QString why;
    const auto fragmentSums = checkTree(fragments, why);
    if (!why.isEmpty())
        return QStringLiteral("fragments: ") + why;
    const auto blockSums = checkTree(blocks, why);
    if (!why.isEmpty())
        return QStringLiteral("blocks: ") + why;
    if (fragmentSums.size[0] != blockSums.size[0])
        return QStringLiteral("fragments and blocks of different lengths");
    // Walk both in order: each block ends with a separator fragment of one character.
    uint f = fragments.minimum(fragments.root());
    quint64 at = 0;
    for (uint b = blocks.minimum(blocks.root()); b; b = blocks.next(b)) {
        const quint64 end = at + blocks.F(b).size_array[0];
        if (blocks.F(b).size_array[1] != 1)
            return QStringLiteral("a block that does not count as one");
        while (f && at < end) {
            const QTextFragmentData &x = *fragments.fragment(f);
            const quint64 size = x.size_array[0];
            if (x.stringPosition < 0 || quint64(x.stringPosition) + size > quint64(buffer.size()))
                return QStringLiteral("a fragment outside the text");
            const bool last = at + size == end;
            for (quint64 i = 0; i < size; ++i) {
                const bool separator = isSeparator(buffer.at(x.stringPosition + qsizetype(i)));
                if (separator != (last && i + 1 == size))
                    return QStringLiteral("a separator where a paragraph does not end, or none where one does");
            }
            if (last && size != 1)
                return QStringLiteral("a separator in a fragment of text");
            at += size;
            f = fragments.next(f);
        }
        if (at != end)
            return QStringLiteral("a block that ends inside a fragment");
    }
    return f ? QStringLiteral("fragments after the last block") : QString();
}
