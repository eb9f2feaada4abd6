#pragma once
// The two ends of file sharing, free of any platform: the host's transfer
// engine (offered files, one stop-and-wait transfer per downloading user)
// and the participant's receiver (announced files, downloads written chunk
// by chunk). They reach the meeting, the disk, the clock and the windows
// only through the small interfaces below.
#include "extras/FileShareMessage.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace fileshare {

class Link {
public:
    // One whole type-29 payload; false when it could not be sent.
    virtual bool Send(const Bytes& payload) = 0;
    // The own session id as it is now (its length is W).
    virtual std::string OwnSession() = 0;
    // A line for the log (dropped input, failures).
    virtual void Log(const std::string& line) = 0;

protected:
    ~Link() = default;
};

class SourceFile {
public:
    virtual ~SourceFile() = default;
    virtual uint64_t Size() const = 0;
    // Up to n bytes at offset; false on a read error.
    virtual bool Read(uint64_t offset, uint8_t* buffer, size_t n, size_t& got) = 0;
};

class TargetFile {
public:
    virtual ~TargetFile() = default;
    // All n bytes at offset, or false (a short write counts as a failure).
    virtual bool WriteAt(uint64_t offset, const uint8_t* data, size_t n) = 0;
};

// Paths are UTF-8.
class FileStore {
public:
    virtual std::unique_ptr<SourceFile> OpenSource(const std::string& path) = 0;
    // Creates (or empties) the file at path.
    virtual std::unique_ptr<TargetFile> CreateTarget(const std::string& path) = 0;
    virtual bool Remove(const std::string& path) = 0;

protected:
    ~FileStore() = default;
};

class Clock {
public:
    virtual uint64_t NowMs() = 0;

protected:
    ~Clock() = default;
};

// Called under the engine's lock: post, do not call back.
class HostEvents {
public:
    virtual void DownloadBegun(const std::string& user, const std::string& fileName) = 0;
    virtual void DownloadDone(const std::string& user, const std::string& fileName) = 0;
    virtual void Refresh(int fileId) = 0;
    virtual void TransfersActive(bool active) = 0;

protected:
    ~HostEvents() = default;
};

enum FileEventKind { kFileAdded = 4, kFileChanged = 5, kFileRemoved = 6, kAllRemoved = 7 };

class ParticipantEvents {
public:
    virtual void FileEvent(int fileId, int kind) = 0;
    virtual void Announced(const std::string& fileName) = 0;
    // The download could not be written; it was removed and cancelled.
    virtual void WriteFailed(const std::string& fileName) = 0;
    virtual void TransfersActive(bool active) = 0;

protected:
    ~ParticipantEvents() = default;
};

enum UserStateValue { kNotDownloaded = 0, kDownloading = 1, kDownloaded = 2, kUserAway = 3 };

struct UserState {
    int state = kNotDownloaded;
    int percent = 0;
};

struct SharedFile {
    int id = 0;
    std::string name;  // after the path's last separator
    std::string path;
    bool toAll = true;
    bool published = false;
    std::map<std::string, UserState> users;
};

// 0 % and state 0 for an aborted transfer, 100 % and state 2 for a finished
// one, else the truncated percentage of the last chunk's offset (0 for an
// empty file).
UserState Progress(bool aborted, bool finished, uint64_t lastChunkOffset, uint64_t size);

class FileShareHost {
public:
    FileShareHost(Link& link, FileStore& files, HostEvents& events);

    enum class AddResult { Added, AlreadyShared, TooLarge, Unreadable };
    // A new, not yet published file with the next id.
    AddResult AddFile(const std::string& path, int& id);
    // Cancelled settings of a new file: it goes, and its id is given back
    // when no file was added since.
    void CancelNew(int id);
    // Announces the file to everybody or to the chosen users.
    bool Publish(int id, bool toAll, const std::vector<std::string>& users);
    // Withdraws a file: its transfers end and its recipients forget it.
    void Remove(int id);
    // "Stop Downloading" for one user of a file.
    void StopUser(int id, const std::string& user);
    // The user is no longer host: everything goes, and "stop sharing" is
    // sent unless the meeting is over (tell false).
    void StopSharing(bool tell = true);
    // On quitting: "stop sharing" when files are shared.
    void WithdrawAll();
    // A new participant list: users who left show state 3, and back to 0
    // when they return.
    void SyncParticipants(const std::vector<std::string>& present);
    // Commands 100-103 (the caller has parsed the message).
    void OnMessage(const Parsed& m);
    // One round of the send thread (every 500 ms).
    void Round();

    std::vector<SharedFile> Files() const;
    bool Shared(int id) const;
    size_t TransferCount() const;

    static constexpr int kRoundMs = 500;
    static constexpr int kActiveEveryMs = 6000;
    static constexpr int kWaitRounds = 2;

private:
    struct Transfer {
        std::string user;
        int fileId = 0;
        uint64_t lastChunk = 0;
        uint64_t size = 0;
        uint64_t next = 0;
        bool waiting = false;
        bool chunkInFlight = false;  // the wait is for a chunk, not the begin
        int rounds = 0;
        bool begun = false;
        bool finished = false;
        bool aborted = false;
        bool silent = false;  // withdrawn: ends without a message
        std::unique_ptr<SourceFile> file;
    };
    using Outbox = std::vector<Bytes>;

    void Step(Transfer& t, Outbox& out);
    Transfer* FindTransfer(const std::string& user, int fileId);
    bool MayHave(const SharedFile& f, const std::string& user) const;
    void AnnounceTo(const SharedFile& f, const std::vector<std::string>& to, Outbox& out);
    Bytes Message(int command, const std::vector<std::string>& to, bool withSender, int fileId,
                  const std::string& fields = {});
    void Flush(Outbox& out);

    Link& m_link;
    FileStore& m_files;
    HostEvents& m_events;
    mutable std::mutex m_lock;
    std::map<int, SharedFile> m_shared;
    std::vector<std::unique_ptr<Transfer>> m_transfers;
    int m_activeMs = kActiveEveryMs;
    std::unique_ptr<uint8_t[]> m_buffer;
};

struct ReceivedView {
    int id = 0;
    std::string name;  // cleaned
    std::string sharer;
    std::string path;
    uint64_t size = 0;
    uint64_t received = 0;
    int percent = 0;
    int state = kNotDownloaded;
};

class FileShareReceiver {
public:
    FileShareReceiver(Link& link, FileStore& files, Clock& clock, ParticipantEvents& events);
    ~FileShareReceiver();

    // Commands 1-9 (the caller has parsed the message).
    void OnMessage(const Parsed& m);
    // The user chose where to save: false when the file is not offered any
    // more or is being downloaded.
    bool StartDownload(int id, const std::string& path);
    // "Drop Downloading File": the partial file goes, the host is told.
    void DropDownload(int id);
    void RequestList(const std::string& host);
    // The user became host: every file goes, partial downloads removed.
    void DropAll();
    // A new participant list: files of a sharer who is no longer the host go.
    void SyncHost(const std::string& host);

    std::vector<ReceivedView> Files() const;
    bool Offered(int id) const;

    static constexpr size_t kMaxFiles = 1024;

private:
    struct Received : ReceivedView {
        std::unique_ptr<TargetFile> file;
        uint64_t startMs = 0;
    };

    void Drop(Received& r);
    void Fail(Received& r, std::vector<Bytes>& out);
    Bytes Request(int command, const Received& r, const std::string& fields = {});
    void Flush(std::vector<Bytes>& out);

    Link& m_link;
    FileStore& m_files;
    Clock& m_clock;
    ParticipantEvents& m_events;
    mutable std::mutex m_lock;
    std::map<int, Received> m_received;
};

// Hands a received payload to the side it is for; drops (with false) what
// does not parse, does not name this client or is for no side.
bool Dispatch(const uint8_t* data, size_t length, const std::string& own, FileShareHost* host,
              FileShareReceiver* receiver);

} // namespace fileshare
