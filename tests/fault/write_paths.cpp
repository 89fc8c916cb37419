#include "fault/write_paths.h"

#include "config/internet_setting.h"
#include "crypto/file_decryption.h"
#include "crypto/file_encryption.h"
#include "fault/fault_test_support.h"
#include "support/key_test_support.h"
#include "support/scratch_folder.h"

#include <optional>

namespace {

constexpr std::size_t kSourceSize = 20000;

std::string SharedKeyFileName()
{
    return SharedKeyPair().GetGuid() + ".key";
}

bool IsSharedKey(const CPublicKey& key)
{
    return key.GetGuid() == SharedKeyPair().GetGuid() &&
           SameKey(key.GetKey(), SharedKeyPair().GetKey());
}

// A list file. The old file holds every entry but the last; the write adds the last one.
template <class TList, class TEntry> class CListWritePath : public CWritePath {
public:
    explicit CListWritePath(std::vector<TEntry> entries) : m_entries(std::move(entries)) {}

    void Stage(const std::string& root) override
    {
        m_folder = MakeFolder(root + "/data", 0700);
        Require(m_list.Load(m_folder), "load the list in " + m_folder);
        for (std::size_t i = 0; i + 1 < m_entries.size(); ++i)
            Require(m_list.InsertAt(-1, m_entries[i]), "save the old list");
    }
    std::string Destination() const override { return m_list.GetPath(); }
    bool Write(const std::function<void()>& atHook) override
    {
        atHook();
        return m_list.InsertAt(-1, m_entries.back());
    }
    bool HoldsNewFile() const override
    {
        EntryTexts expected;
        for (const TEntry& entry : m_entries)
            expected.emplace_back(entry.GetName(), entry.GetSecondText());
        TList loaded;
        return loaded.LoadReadOnly(m_folder) && TextsOf(loaded) == expected;
    }

private:
    std::vector<TEntry> m_entries;
    std::string m_folder;
    TList m_list;
};

struct SInternetValues {
    std::string m_ftp;
    std::string m_user;
    std::string m_password;
    bool m_bAnonymous = false;
    std::string m_url;

    bool operator==(const SInternetValues&) const = default;
};

const SInternetValues kOldSettings {"ftp://ftp.example.org/keys/", "alice", "old secret", false,
                                    "https://example.org/keys/alice.pub"};
const SInternetValues kNewSettings {"ftp://upload.example.net/pub/", "alice.w",
                                    "a new and longer secret", true,
                                    "https://example.net/pub/alice.pub"};

// inet.conf, the old file saved with the old settings.
class CInternetWritePath : public CWritePath {
public:
    void Stage(const std::string& root) override
    {
        m_folder = MakeFolder(root + "/data", 0700);
        Require(m_setting.Load(m_folder), "load the settings in " + m_folder);
        Apply(kOldSettings);
        Require(m_setting.Save(), "save the old settings");
    }
    std::string Destination() const override { return m_setting.GetPath(); }
    bool Write(const std::function<void()>& atHook) override
    {
        atHook();
        Apply(kNewSettings);
        return m_setting.Save();
    }
    bool HoldsNewFile() const override
    {
        CInternetSetting loaded;
        return loaded.LoadReadOnly(m_folder) &&
               SInternetValues {loaded.GetFtp(), loaded.GetUser(), loaded.GetPassword(),
                                loaded.IsAnonymous(), loaded.GetUrl()} == kNewSettings;
    }

private:
    void Apply(const SInternetValues& values)
    {
        m_setting.SetFtp(values.m_ftp);
        m_setting.SetUser(values.m_user);
        m_setting.SetPassword(values.m_password);
        m_setting.SetAnonymous(values.m_bAnonymous);
        m_setting.SetUrl(values.m_url);
    }

    std::string m_folder;
    CInternetSetting m_setting;
};

// A new key pair's file in the keys folder.
class CKeyPairFileWritePath : public CWritePath {
public:
    void Stage(const std::string& root) override
    {
        m_folder = MakeFolder(root + "/keys", 0700);
        m_pair = CopyOfSharedKeyPair();
    }
    std::string Destination() const override { return m_folder + "/" + SharedKeyFileName(); }
    bool Write(const std::function<void()>& atHook) override
    {
        atHook();
        return m_pair->SaveFile(Destination());
    }
    bool HoldsNewFile() const override
    {
        const std::unique_ptr<CKeyPair> loaded = LoadKeyPairFile(Destination());
        return loaded && IsSharedKey(*loaded);
    }

private:
    std::string m_folder;
    std::unique_ptr<CKeyPair> m_pair;
};

// The public key file saved for publishing.
class CPublicKeyFileWritePath : public CWritePath {
public:
    void Stage(const std::string& root) override
    {
        m_folder = MakeFolder(root + "/out", 0755);
        m_key = PublicHalfOfSharedKeyPair();
    }
    std::string Destination() const override { return m_folder + "/mine.pub"; }
    EFileAccess Access() const override { return EFileAccess::Shared; }
    bool Write(const std::function<void()>& atHook) override
    {
        atHook();
        return m_key->SaveFile(Destination());
    }
    bool HoldsNewFile() const override
    {
        const std::unique_ptr<CPublicKey> read = ReadPublicKeyFile(Destination());
        return read && IsSharedKey(*read);
    }

private:
    std::string m_folder;
    std::unique_ptr<CPublicKey> m_key;
};

// A container replacing the container of an earlier draft.
class CContainerWritePath : public CWritePath {
public:
    void Stage(const std::string& root) override
    {
        m_source = MakeFolder(root + "/in", 0755) + "/report.doc";
        m_folder = MakeFolder(root + "/out", 0755);
        m_check = MakeFolder(root + "/check", 0755) + "/report.doc";
        m_recipient = PublicHalfOfSharedKeyPair();
        WriteWholeFile(m_source, "an earlier draft");
        Require(EncryptFile(m_source, Destination(), *m_recipient), "the old container");
        WriteWholeFile(m_source, SampleBytes(kSourceSize));
    }
    std::string Destination() const override { return m_folder + "/report.enp"; }
    EFileAccess Access() const override { return EFileAccess::Shared; }
    bool Write(const std::function<void()>& atHook) override
    {
        atHook();
        return EncryptFile(m_source, Destination(), *m_recipient);
    }
    bool HoldsNewFile() const override
    {
        return RestoredFrom(Destination(), m_check) == ReadWholeFile(m_source);
    }

private:
    std::string m_source;
    std::string m_folder;
    std::string m_check;
    std::unique_ptr<CPublicKey> m_recipient;
};

// The file restored from a container, replacing an old file of that name.
class CRestoredFileWritePath : public CWritePath {
public:
    void Stage(const std::string& root) override
    {
        const std::string in = MakeFolder(root + "/in", 0755);
        m_folder = MakeFolder(root + "/out", 0755);
        m_source = in + "/report.doc";
        m_container = in + "/report.enp";
        WriteWholeFile(m_source, SampleBytes(kSourceSize));
        Require(EncryptFile(m_source, m_container, *PublicHalfOfSharedKeyPair()), "a container");
        WriteWholeFile(Destination(), "the old report");
    }
    std::string Destination() const override { return m_folder + "/report.doc"; }
    bool Write(const std::function<void()>& atHook) override
    {
        const OutputNameAsker askOutput = [&](const std::string& proposedName) {
            atHook();
            return m_folder + "/" + proposedName;
        };
        return DecryptFile(m_container, SharedKeyPairFinder(), askOutput) ==
               EDecryptResult::Decrypted;
    }
    bool HoldsNewFile() const override
    {
        FileTimeRecord sourceTime;
        FileTimeRecord restoredTime;
        return ReadWholeFile(Destination()) == ReadWholeFile(m_source) &&
               GetFileLastWriteTime(m_source, sourceTime) &&
               GetFileLastWriteTime(Destination(), restoredTime) && restoredTime == sourceTime;
    }

private:
    std::string m_folder;
    std::string m_source;
    std::string m_container;
};

// The export of a listed key pair's file, replacing an older export.
class CKeyPairExportWritePath : public CWritePath {
public:
    void Stage(const std::string& root) override
    {
        m_keys.emplace(root + "/keys");
        m_keyFile = m_keys->Folder() + SharedKeyFileName();
        Require(CopyOfSharedKeyPair()->SaveFile(m_keyFile), "the key pair file");
        Require(m_list.Load(MakeFolder(root + "/data", 0700)) &&
                    m_list.InsertAt(-1, CKeyPairOfConf("Mine", SharedKeyFileName())),
                "keys.conf");
        m_folder = MakeFolder(root + "/out", 0755);
        WriteWholeFile(Destination(), "an older export");
    }
    std::string Destination() const override { return m_folder + "/mine.exp"; }
    bool Write(const std::function<void()>& atHook) override
    {
        atHook();
        return m_list.CopyKeyFileTo(Destination(), 0);
    }
    bool HoldsNewFile() const override
    {
        return ReadWholeFile(Destination()) == ReadWholeFile(m_keyFile);
    }

private:
    std::optional<CKeysFolderScope> m_keys;
    std::string m_keyFile;
    CKeyPairList m_list;
    std::string m_folder;
};

// Imports a key pair file the user picked, as the import dialog is to: only a file that reads as a
// key pair file is taken, and it never replaces a key pair file already in the keys folder.
bool ImportKeyPairFile(const std::string& path)
{
    const std::unique_ptr<CKeyPair> pair = LoadKeyPairFile(path);
    if (!pair)
        return false;
    CTempFile copy = NewTempFile();
    return copy && AppendFileContent(path, copy) && CopyTempFileTo(copy, pair->GetKeyFilePath());
}

// A picked key pair file imported into an empty keys folder.
class CKeyPairImportWritePath : public CWritePath {
public:
    void Stage(const std::string& root) override
    {
        m_keys.emplace(root + "/keys");
        m_picked = MakeFolder(root + "/in", 0755) + "/mine.key";
        Require(CopyOfSharedKeyPair()->SaveFile(m_picked), "the picked key pair file");
    }
    std::string Destination() const override { return m_keys->Folder() + SharedKeyFileName(); }
    bool Write(const std::function<void()>& atHook) override
    {
        atHook();
        return ImportKeyPairFile(m_picked);
    }
    bool HoldsNewFile() const override
    {
        return ReadWholeFile(Destination()) == ReadWholeFile(m_picked);
    }

private:
    std::optional<CKeysFolderScope> m_keys;
    std::string m_picked;
};

template <class TPath> std::unique_ptr<CWritePath> Make()
{
    return std::make_unique<TPath>();
}

std::unique_ptr<CWritePath> MakeDestinationList()
{
    return std::make_unique<CListWritePath<CDestinationList, CDestination>>(SampleDestinations());
}

std::unique_ptr<CWritePath> MakeKeyPairList()
{
    return std::make_unique<CListWritePath<CKeyPairList, CKeyPairOfConf>>(SampleKeyPairEntries());
}

} // namespace

const std::vector<SWritePathKind>& AllWritePaths()
{
    static const std::vector<SWritePathKind> paths {
        {"DestConf", MakeDestinationList},
        {"KeysConf", MakeKeyPairList},
        {"InetConf", Make<CInternetWritePath>},
        {"KeyPairFile", Make<CKeyPairFileWritePath>},
        {"PublicKeyFile", Make<CPublicKeyFileWritePath>},
        {"Container", Make<CContainerWritePath>},
        {"RestoredFile", Make<CRestoredFileWritePath>},
        {"KeyPairExport", Make<CKeyPairExportWritePath>},
        {"KeyPairImport", Make<CKeyPairImportWritePath>},
    };
    return paths;
}
