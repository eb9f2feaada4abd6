#include "extras/FileShareEngine.h"

#include "extras/FileShareName.h"

#include <algorithm>
#include <atomic>

namespace fileshare {

namespace {

// Ids of offered files, for the whole process.
std::atomic<int> g_nextFileId{kFirstFileId};

std::string LastComponent(const std::string& path)
{
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Describe(const Parsed& m)
{
    return "command " + std::to_string(m.command) + " file " + std::to_string(m.fileId);
}

} // namespace

UserState Progress(bool aborted, bool finished, uint64_t lastChunkOffset, uint64_t size)
{
    UserState s;
    if (aborted)
        return s;
    if (finished) {
        s.state = kDownloaded;
        s.percent = 100;
        return s;
    }
    s.state = kDownloading;
    s.percent = size == 0 ? 0 : static_cast<int>(std::min<uint64_t>(lastChunkOffset, size) * 100 / size);
    return s;
}

// --- host -------------------------------------------------------------------

FileShareHost::FileShareHost(Link& link, FileStore& files, HostEvents& events)
    : m_link(link), m_files(files), m_events(events), m_buffer(new uint8_t[kChunkData])
{
}

Bytes FileShareHost::Message(int command, const std::vector<std::string>& to, bool withSender, int fileId,
                             const std::string& fields)
{
    Head h;
    h.command = command;
    h.recipients = to;
    const std::string own = m_link.OwnSession();
    if (withSender)
        h.sender = own;
    h.fileId = fileId;
    return TextMessage(h, own.size(), fields);
}

void FileShareHost::Flush(Outbox& out)
{
    for (const Bytes& b : out)
        if (!m_link.Send(b))
            m_link.Log("File share: a message could not be sent.");
    out.clear();
}

FileShareHost::AddResult FileShareHost::AddFile(const std::string& path, int& id)
{
    std::unique_ptr<SourceFile> f = m_files.OpenSource(path);
    if (!f)
        return AddResult::Unreadable;
    if (f->Size() > kMaxFileSize)
        return AddResult::TooLarge;
    std::lock_guard<std::mutex> l(m_lock);
    for (const auto& kv : m_shared)
        if (kv.second.path == path)
            return AddResult::AlreadyShared;
    SharedFile s;
    s.id = id = g_nextFileId.fetch_add(1);
    s.name = LastComponent(path);
    s.path = path;
    m_shared[s.id] = std::move(s);
    return AddResult::Added;
}

void FileShareHost::CancelNew(int id)
{
    {
        std::lock_guard<std::mutex> l(m_lock);
        auto it = m_shared.find(id);
        if (it == m_shared.end() || it->second.published)
            return;
        m_shared.erase(it);
    }
    // Only the newest id comes back: another file may have taken the next.
    int expected = id + 1;
    g_nextFileId.compare_exchange_strong(expected, id);
}

bool FileShareHost::Publish(int id, bool toAll, const std::vector<std::string>& users)
{
    Outbox out;
    {
        std::lock_guard<std::mutex> l(m_lock);
        auto it = m_shared.find(id);
        if (it == m_shared.end())
            return false;
        SharedFile& f = it->second;
        f.toAll = toAll;
        std::map<std::string, UserState> kept;
        if (!toAll) {
            for (const std::string& u : users)
                kept[u] = f.users.count(u) ? f.users[u] : UserState();
        } else {
            kept = f.users;
        }
        f.users = std::move(kept);
        f.published = true;
        std::vector<std::string> to;
        if (!toAll)
            for (const auto& kv : f.users)
                to.push_back(kv.first);
        if (toAll || !to.empty())
            AnnounceTo(f, to, out);
    }
    Flush(out);
    return true;
}

void FileShareHost::AnnounceTo(const SharedFile& f, const std::vector<std::string>& to, Outbox& out)
{
    if (f.name.empty() || f.path.empty())
        return;
    std::unique_ptr<SourceFile> src = m_files.OpenSource(f.path);
    const uint64_t size = src ? src->Size() : 0;
    if (size > kMaxFileSize)
        return;
    Head h;
    h.command = kAnnounce;
    h.recipients = to;
    const std::string own = m_link.OwnSession();
    h.sender = own;
    h.fileId = f.id;
    out.push_back(fileshare::Announce(h, own.size(), size, f.name));
}

bool FileShareHost::MayHave(const SharedFile& f, const std::string& user) const
{
    return f.published && (f.toAll || f.users.count(user) != 0);
}

void FileShareHost::Remove(int id)
{
    Outbox out;
    {
        std::lock_guard<std::mutex> l(m_lock);
        auto it = m_shared.find(id);
        if (it == m_shared.end())
            return;
        for (auto& t : m_transfers)
            if (t->fileId == id) {
                t->finished = true;
                t->silent = true;
            }
        SharedFile& f = it->second;
        std::vector<std::string> to;
        if (!f.toAll)
            for (const auto& kv : f.users)
                to.push_back(kv.first);
        if (f.published && (f.toAll || !to.empty()))
            out.push_back(Message(kWithdraw, to, true, id));
        m_shared.erase(it);
    }
    Flush(out);
}

void FileShareHost::StopUser(int id, const std::string& user)
{
    Outbox out;
    {
        std::lock_guard<std::mutex> l(m_lock);
        Transfer* t = FindTransfer(user, id);
        if (!t)
            return;
        t->aborted = true;
        Step(*t, out);
    }
    Flush(out);
}

void FileShareHost::StopSharing(bool tell)
{
    Outbox out;
    {
        std::lock_guard<std::mutex> l(m_lock);
        const bool hadTransfers = !m_transfers.empty();
        m_transfers.clear();
        m_shared.clear();
        if (tell)
            out.push_back(Message(kStopSharing, {}, true, 0));
        if (hadTransfers) {
            if (tell)
                out.push_back(Message(kTransfersIdle, {}, true, 0));
            m_events.TransfersActive(false);
        }
    }
    Flush(out);
}

void FileShareHost::WithdrawAll()
{
    Outbox out;
    {
        std::lock_guard<std::mutex> l(m_lock);
        if (m_shared.empty())
            return;
        out.push_back(Message(kStopSharing, {}, true, 0));
    }
    Flush(out);
}

void FileShareHost::SyncParticipants(const std::vector<std::string>& present)
{
    {
        std::lock_guard<std::mutex> l(m_lock);
        for (auto& kv : m_shared)
            for (auto& u : kv.second.users) {
                const bool here = std::find(present.begin(), present.end(), u.first) != present.end();
                if (!here) {
                    u.second.state = kUserAway;
                    u.second.percent = 0;
                } else if (u.second.state == kUserAway) {
                    u.second.state = kNotDownloaded;
                }
            }
    }
    m_events.Refresh(0);
}

FileShareHost::Transfer* FileShareHost::FindTransfer(const std::string& user, int fileId)
{
    for (auto& t : m_transfers)
        if (t->user == user && t->fileId == fileId && !t->finished)
            return t.get();
    return nullptr;
}

void FileShareHost::Step(Transfer& t, Outbox& out)
{
    if (t.user.empty() || !t.file || t.finished)
        return;
    const size_t width = m_link.OwnSession().size();
    if (t.aborted) {
        t.finished = true;
        out.push_back(Message(kAborted, {t.user}, false, t.fileId));
        return;
    }
    if (!t.begun) {
        t.size = t.file->Size();
        t.begun = true;
        t.waiting = true;
        out.push_back(Message(kBegin, {t.user}, false, t.fileId, NumberField(t.size)));
        return;
    }
    if (t.waiting) {
        if (++t.rounds < kWaitRounds)
            return;
        // No acknowledgement: the last chunk goes again.
        t.rounds = 0;
        t.waiting = false;
        t.next = t.lastChunk;
    }
    if (t.next == t.size) {
        t.finished = true;
        out.push_back(Message(kComplete, {t.user}, false, t.fileId));
        return;
    }
    if (t.next > t.size)
        return;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkData, t.size - t.next));
    size_t got = 0;
    if (!t.file->Read(t.next, m_buffer.get(), want, got) || got != want) {
        m_link.Log("File share: the shared file could not be read; the download ends.");
        t.aborted = true;
        t.finished = true;
        out.push_back(Message(kAborted, {t.user}, false, t.fileId));
        return;
    }
    out.push_back(Chunk(t.user, width, t.fileId, t.next, m_buffer.get(), got));
    t.lastChunk = t.next;
    t.waiting = true;
    t.chunkInFlight = true;
    t.rounds = 0;
}

void FileShareHost::OnMessage(const Parsed& m)
{
    if (m.sender.empty() || m.command < kListRequest || m.command > kCancel)
        return;
    Outbox out;
    {
        std::lock_guard<std::mutex> l(m_lock);
        auto it = m_shared.find(m.fileId);
        switch (m.command) {
        case kListRequest:
            for (const auto& kv : m_shared)
                if (MayHave(kv.second, m.sender))
                    AnnounceTo(kv.second, {m.sender}, out);
            break;
        case kStartDownload: {
            if (it == m_shared.end() || !MayHave(it->second, m.sender)) {
                m_link.Log("File share: a download of a file not offered to its asker was refused (" + Describe(m) + ").");
                break;
            }
            if (FindTransfer(m.sender, m.fileId))
                break;
            auto t = std::make_unique<Transfer>();
            t->user = m.sender;
            t->fileId = m.fileId;
            t->file = m_files.OpenSource(it->second.path);
            if (!t->file || t->file->Size() > kMaxFileSize) {
                m_link.Log("File share: the shared file could not be opened.");
                break;
            }
            Step(*t, out);
            m_transfers.push_back(std::move(t));
            it->second.users[m.sender] = UserState{kDownloading, 0};
            m_events.DownloadBegun(m.sender, it->second.name);
            m_events.Refresh(m.fileId);
            break;
        }
        case kAck: {
            Transfer* t = FindTransfer(m.sender, m.fileId);
            uint64_t offset = 0;
            if (!t || !t->begun || !ReadNumber(m, offset) || offset > t->size) {
                m_link.Log("File share: an acknowledgement was dropped (" + Describe(m) + ").");
                break;
            }
            // Asking again for the chunk on its way (a doubled message): it
            // is answered once; the wait's end resends it if it was lost.
            if (t->waiting && t->chunkInFlight && offset == t->lastChunk)
                break;
            t->next = offset;
            t->waiting = false;
            t->rounds = 0;
            Step(*t, out);
            if (t->finished && !t->aborted && it != m_shared.end())
                m_events.DownloadDone(m.sender, it->second.name);
            break;
        }
        case kCancel:
            if (Transfer* t = FindTransfer(m.sender, m.fileId)) {
                t->aborted = true;
                Step(*t, out);
            }
            break;
        }
    }
    Flush(out);
}

void FileShareHost::Round()
{
    Outbox out;
    struct Record {
        std::string user;
        int fileId;
        UserState progress;
    };
    std::vector<Record> records;
    {
        std::lock_guard<std::mutex> l(m_lock);
        if (m_transfers.empty())
            return;
        if (m_activeMs >= kActiveEveryMs) {
            out.push_back(Message(kTransfersActive, {}, true, 0));
            m_activeMs = 0;
            m_events.TransfersActive(true);
        }
        for (auto& t : m_transfers) {
            if (t->waiting || t->aborted)
                Step(*t, out);
            // Not waiting (the wait ran out, or the step never began one):
            // step it here, or it would never move again.
            if (!t->waiting && !t->finished)
                Step(*t, out);
            if (!t->silent)
                records.push_back({t->user, t->fileId, Progress(t->aborted, t->finished, t->lastChunk, t->size)});
        }
        m_transfers.erase(std::remove_if(m_transfers.begin(), m_transfers.end(),
                                         [](const std::unique_ptr<Transfer>& t) { return t->finished; }),
                          m_transfers.end());
        if (m_transfers.empty()) {
            out.push_back(Message(kTransfersIdle, {}, true, 0));
            m_events.TransfersActive(false);
        }
        for (const Record& r : records) {
            auto it = m_shared.find(r.fileId);
            if (it == m_shared.end())
                continue;
            UserState& u = it->second.users[r.user];
            if (u.state == kUserAway)
                u.percent = 0;
            else
                u = r.progress;
        }
        m_activeMs += kRoundMs;
    }
    Flush(out);
    for (const Record& r : records)
        m_events.Refresh(r.fileId);
}

std::vector<SharedFile> FileShareHost::Files() const
{
    std::lock_guard<std::mutex> l(m_lock);
    std::vector<SharedFile> v;
    for (const auto& kv : m_shared)
        v.push_back(kv.second);
    return v;
}

bool FileShareHost::Shared(int id) const
{
    std::lock_guard<std::mutex> l(m_lock);
    return m_shared.count(id) != 0;
}

size_t FileShareHost::TransferCount() const
{
    std::lock_guard<std::mutex> l(m_lock);
    return m_transfers.size();
}

// --- participant --------------------------------------------------------------

FileShareReceiver::FileShareReceiver(Link& link, FileStore& files, Clock& clock, ParticipantEvents& events)
    : m_link(link), m_files(files), m_clock(clock), m_events(events)
{
}

FileShareReceiver::~FileShareReceiver()
{
    std::lock_guard<std::mutex> l(m_lock);
    for (auto& kv : m_received)
        Drop(kv.second);
}

Bytes FileShareReceiver::Request(int command, const Received& r, const std::string& fields)
{
    Head h;
    h.command = command;
    h.recipients = {r.sharer};
    const std::string own = m_link.OwnSession();
    h.sender = own;
    h.fileId = r.id;
    return TextMessage(h, own.size(), fields);
}

void FileShareReceiver::Flush(std::vector<Bytes>& out)
{
    for (const Bytes& b : out)
        if (!m_link.Send(b))
            m_link.Log("File share: a message could not be sent.");
    out.clear();
}

// An unfinished download goes with its partial file; a finished one stays.
void FileShareReceiver::Drop(Received& r)
{
    if (r.file) {
        r.file.reset();
        if (r.state == kDownloading && !m_files.Remove(r.path))
            m_link.Log("File share: a partial download could not be removed.");
    }
    if (r.state == kDownloading) {
        r.state = kNotDownloaded;
        r.percent = 0;
        r.received = 0;
    }
}

// The download cannot go on here: remove it, tell the host, tell the user.
void FileShareReceiver::Fail(Received& r, std::vector<Bytes>& out)
{
    Drop(r);
    out.push_back(Request(kCancel, r));
    m_events.FileEvent(r.id, kFileChanged);
    m_events.WriteFailed(r.name);
}

void FileShareReceiver::OnMessage(const Parsed& m)
{
    if (m.command < kAnnounce || m.command > kTransfersIdle)
        return;
    std::vector<Bytes> out;
    {
        std::lock_guard<std::mutex> l(m_lock);
        auto it = m_received.find(m.fileId);
        Received* r = it == m_received.end() ? nullptr : &it->second;
        // Begin, chunk, complete and aborted only for a download under way.
        if (m.command >= kBegin && m.command <= kAborted && (!r || r->state != kDownloading)) {
            m_link.Log("File share: a message for no running download was dropped (" + Describe(m) + ").");
            return;
        }
        switch (m.command) {
        case kAnnounce: {
            AnnounceFields a;
            if (m.sender.empty() || !ReadAnnounce(m, a)) {
                m_link.Log("File share: a bad announcement was dropped.");
                break;
            }
            if (r || m_received.size() >= kMaxFiles)
                break;
            Received& n = m_received[m.fileId];
            n.id = m.fileId;
            n.name = CleanFileName(a.name);
            n.sharer = m.sender;
            n.size = a.size;
            m_events.FileEvent(n.id, kFileAdded);
            m_events.Announced(n.name);
            break;
        }
        case kWithdraw:
            if (r && r->sharer == m.sender) {
                Drop(*r);
                m_received.erase(it);
                m_events.FileEvent(m.fileId, kFileRemoved);
            }
            break;
        case kStopSharing:
            for (auto i = m_received.begin(); i != m_received.end();) {
                if (i->second.sharer == m.sender) {
                    Drop(i->second);
                    i = m_received.erase(i);
                } else {
                    ++i;
                }
            }
            m_events.FileEvent(0, kAllRemoved);
            break;
        case kBegin: {
            uint64_t size = 0;
            if (!ReadNumber(m, size)) {
                m_link.Log("File share: a bad begin was dropped.");
                break;
            }
            r->startMs = m_clock.NowMs();
            r->received = 0;
            r->size = size;
            if (!r->file)
                r->file = m_files.CreateTarget(r->path);
            if (!r->file) {
                m_link.Log("File share: the download's file could not be created.");
                Fail(*r, out);
                break;
            }
            out.push_back(Request(kAck, *r, NumberField(0)));
            break;
        }
        case kChunk: {
            ChunkFields c;
            if (!r->file || !ReadChunk(m, c) || c.offset + c.count > r->size) {
                m_link.Log("File share: a bad chunk was dropped (" + Describe(m) + ").");
                break;
            }
            if (c.offset > r->received) {
                // Past what has arrived: ask again for what is missing.
                out.push_back(Request(kAck, *r, NumberField(r->received)));
                break;
            }
            if (!r->file->WriteAt(c.offset, c.data, c.count)) {
                m_link.Log("File share: the download could not be written; it was removed.");
                Fail(*r, out);
                break;
            }
            r->received = c.offset + c.count;
            r->percent = r->size ? static_cast<int>(r->received * 100 / r->size) : 0;
            out.push_back(Request(kAck, *r, NumberField(r->received)));
            m_events.FileEvent(r->id, kFileChanged);
            break;
        }
        case kComplete:
            if (!r->file || r->received != r->size) {
                m_link.Log("File share: a download ended short; it was removed.");
                Fail(*r, out);
                break;
            }
            r->file.reset();
            r->percent = 100;
            r->state = kDownloaded;
            m_link.Log("File share: downloaded " + std::to_string(r->size) + " bytes in " +
                       std::to_string(m_clock.NowMs() - r->startMs) + " ms.");
            m_events.FileEvent(r->id, kFileChanged);
            break;
        case kAborted:
            Drop(*r);
            m_events.FileEvent(r->id, kFileChanged);
            break;
        case kTransfersActive:
        case kTransfersIdle:
            m_events.TransfersActive(m.command == kTransfersActive);
            break;
        }
    }
    Flush(out);
}

bool FileShareReceiver::StartDownload(int id, const std::string& path)
{
    std::vector<Bytes> out;
    {
        std::lock_guard<std::mutex> l(m_lock);
        auto it = m_received.find(id);
        if (it == m_received.end() || it->second.state == kDownloading || path.empty())
            return false;
        Received& r = it->second;
        r.path = path;
        r.received = 0;
        r.percent = 0;
        r.state = kDownloading;
        m_events.FileEvent(id, kFileChanged);
        out.push_back(Request(kStartDownload, r));
    }
    Flush(out);
    return true;
}

void FileShareReceiver::DropDownload(int id)
{
    std::vector<Bytes> out;
    {
        std::lock_guard<std::mutex> l(m_lock);
        auto it = m_received.find(id);
        if (it == m_received.end() || it->second.state != kDownloading)
            return;
        Drop(it->second);
        out.push_back(Request(kCancel, it->second));
        m_events.FileEvent(id, kFileChanged);
    }
    Flush(out);
}

void FileShareReceiver::RequestList(const std::string& host)
{
    if (host.empty())
        return;
    Head h;
    h.command = kListRequest;
    h.recipients = {host};
    const std::string own = m_link.OwnSession();
    h.sender = own;
    if (!m_link.Send(TextMessage(h, own.size())))
        m_link.Log("File share: the list request could not be sent.");
}

void FileShareReceiver::DropAll()
{
    std::lock_guard<std::mutex> l(m_lock);
    for (auto& kv : m_received)
        Drop(kv.second);
    m_received.clear();
    m_events.FileEvent(0, kAllRemoved);
}

void FileShareReceiver::SyncHost(const std::string& host)
{
    std::lock_guard<std::mutex> l(m_lock);
    bool dropped = false;
    for (auto i = m_received.begin(); i != m_received.end();) {
        if (i->second.sharer != host) {
            Drop(i->second);
            i = m_received.erase(i);
            dropped = true;
        } else {
            ++i;
        }
    }
    if (dropped)
        m_events.FileEvent(0, kFileRemoved);
}

std::vector<ReceivedView> FileShareReceiver::Files() const
{
    std::lock_guard<std::mutex> l(m_lock);
    std::vector<ReceivedView> v;
    for (const auto& kv : m_received)
        v.push_back(kv.second);
    return v;
}

bool FileShareReceiver::Offered(int id) const
{
    std::lock_guard<std::mutex> l(m_lock);
    return m_received.count(id) != 0;
}

bool Dispatch(const uint8_t* data, size_t length, const std::string& own, FileShareHost* host,
              FileShareReceiver* receiver)
{
    Parsed m;
    if (own.empty() || !Parse(data, length, own.size(), m))
        return false;
    if (!m.Names(own) || m.sender == own)
        return false;
    if (m.command >= kAnnounce && m.command <= kTransfersIdle && receiver) {
        receiver->OnMessage(m);
        return true;
    }
    if (m.command >= kListRequest && m.command <= kCancel && host) {
        host->OnMessage(m);
        return true;
    }
    return false;
}

} // namespace fileshare
