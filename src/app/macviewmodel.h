#pragma once

#include "entrylistmodel.h"
#include "tasklistmodel.h"

#include "adb/adbbridge.h"
#include "archive/tararchive.h"

#include "transfers/transferentry.h"
#include "transfers/transferqueue.h"
#include "transfers/transferverification.h"
#include "transfers/transfertask.h"
#include "transfers/verifyoutcome.h"
#include "transport/deviceinfo.h"
#include "transport/wifideviceinfo.h"
#include "transport/wifitransport.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>
#include <QVariant>

#include <memory>
#include <optional>

// The window's whole state and every operation on it. One per process; everything runs on the
// GUI thread. Published fields are properties with change signals; the views read them and call
// the operations, and write only the two selections and the remote action error.
class MacViewModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariant device READ deviceValue NOTIFY deviceChanged)
    Q_PROPERTY(QString localDirectory READ localDirectoryText NOTIFY localDirectoryChanged)
    Q_PROPERTY(EntryListModel* localItems READ localItems CONSTANT)
    Q_PROPERTY(QStringList selectedLocal READ selectedLocal WRITE setSelectedLocal NOTIFY selectedLocalChanged)
    Q_PROPERTY(QString localErrorMessage READ localErrorMessage NOTIFY localErrorMessageChanged)
    Q_PROPERTY(EntryListModel* remoteItems READ remoteItems CONSTANT)
    Q_PROPERTY(QStringList selectedRemote READ selectedRemote WRITE setSelectedRemote NOTIFY selectedRemoteChanged)
    Q_PROPERTY(QString remoteErrorMessage READ remoteErrorMessage NOTIFY remoteErrorMessageChanged)
    Q_PROPERTY(TaskListModel* tasks READ tasks CONSTANT)
    Q_PROPERTY(QStringList verificationResults READ verificationResults NOTIFY verificationResultsChanged)
    Q_PROPERTY(QVariantList wifiDevices READ wifiDevicesValue NOTIFY wifiDevicesChanged)
    Q_PROPERTY(bool isConnectingWiFi READ isConnectingWiFi NOTIFY isConnectingWiFiChanged)
    Q_PROPERTY(QString wifiErrorMessage READ wifiErrorMessage NOTIFY wifiErrorMessageChanged)
    Q_PROPERTY(QString wifiBrowseError READ wifiBrowseError NOTIFY wifiBrowseErrorChanged)
    Q_PROPERTY(bool connectedViaUSB READ connectedViaUSB NOTIFY connectedViaUSBChanged)
    // "wifi", "usbBridge" or "adbTunnel": how the transport reaches the phone.
    Q_PROPERTY(QString connectionKind READ connectionKindText NOTIFY deviceChanged)
    Q_PROPERTY(QVariant pairingPrompt READ pairingPromptValue NOTIFY pairingPromptChanged)
    Q_PROPERTY(QString pairingError READ pairingError NOTIFY pairingErrorChanged)
    Q_PROPERTY(QVariantList adbDevices READ adbDevicesValue NOTIFY adbDevicesChanged)
    Q_PROPERTY(QString adbErrorMessage READ adbErrorMessage NOTIFY adbErrorMessageChanged)
    Q_PROPERTY(QString adbUnavailableReason READ adbUnavailableReason NOTIFY adbUnavailableReasonChanged)
    Q_PROPERTY(QString remoteActionError READ remoteActionError WRITE setRemoteActionError NOTIFY remoteActionErrorChanged)
    Q_PROPERTY(QVariant remoteClipboard READ remoteClipboardValue NOTIFY remoteClipboardChanged)
    Q_PROPERTY(QString remotePath READ remotePath NOTIFY remotePathChanged)
    Q_PROPERTY(bool canPasteRemote READ canPasteRemote NOTIFY canPasteRemoteChanged)
    // Whether there is a folder to go back to on either side.
    Q_PROPERTY(bool hasLocalHistory READ hasLocalHistory NOTIFY localDirectoryChanged)
    Q_PROPERTY(bool hasRemoteHistory READ hasRemoteHistory NOTIFY remotePathChanged)

public:
    struct PairingPrompt
    {
        QUuid id = QUuid::createUuid();
        QString deviceName;
        std::optional<WiFiDeviceInfo> wifiInfo;
        bool viaUSB = false;
        std::optional<QString> androidSerial;
    };

    struct RemoteClipboard
    {
        QList<TransferEntry> entries;
        bool isCut = false;
    };

    // Start-up restores the left pane and, with `watchForPhones` (the window), starts looking for
    // phones: discovery on the network and the adb poll. Tools and tests that reach their phone
    // by address leave both off.
    explicit MacViewModel(TransportTimings timings = {}, bool watchForPhones = false, QObject* parent = nullptr);

    // Published state.
    const std::optional<DeviceInfo>& device() const { return m_device; }
    QVariant deviceValue() const;
    const std::optional<QString>& localDirectory() const { return m_localDirectory; }
    QString localDirectoryText() const { return m_localDirectory.value_or(QString()); }
    EntryListModel* localItems() { return &m_localItems; }
    QStringList selectedLocal() const { return m_selectedLocal; }
    void setSelectedLocal(const QStringList& ids);
    QString localErrorMessage() const { return m_localErrorMessage; }
    EntryListModel* remoteItems() { return &m_remoteItems; }
    QStringList selectedRemote() const { return m_selectedRemote; }
    void setSelectedRemote(const QStringList& ids);
    QString remoteErrorMessage() const { return m_remoteErrorMessage; }
    TaskListModel* tasks() { return &m_tasks; }
    QStringList verificationResults() const { return m_verificationResults; }
    const QList<WiFiDeviceInfo>& wifiDevices() const { return m_wifiDevices; }
    QVariantList wifiDevicesValue() const;
    bool isConnectingWiFi() const { return m_isConnectingWiFi; }
    QString wifiErrorMessage() const { return m_wifiErrorMessage; }
    QString wifiBrowseError() const { return m_wifiBrowseError; }
    bool connectedViaUSB() const { return m_connectedViaUSB; }
    const std::optional<PairingPrompt>& pairingPrompt() const { return m_pairingPrompt; }
    QVariant pairingPromptValue() const;
    QString pairingError() const { return m_pairingError; }
    const QList<AdbBridge::Device>& adbDevices() const { return m_adbDevices; }
    QVariantList adbDevicesValue() const;
    QString adbErrorMessage() const { return m_adbErrorMessage; }
    QString adbUnavailableReason() const { return m_adbUnavailableReason; }
    QString remoteActionError() const { return m_remoteActionError; }
    void setRemoteActionError(const QString& text);
    const std::optional<RemoteClipboard>& remoteClipboard() const { return m_remoteClipboard; }
    QVariant remoteClipboardValue() const;

    // Not published: read when the views redraw.
    QString remotePath() const { return m_remotePath; }
    const QStringList& remoteStack() const { return m_remoteStack; }
    const QStringList& localStack() const { return m_localStack; }
    bool hasLocalHistory() const { return !m_localStack.isEmpty(); }
    bool hasRemoteHistory() const { return !m_remoteStack.isEmpty(); }
    const std::optional<QString>& activeScopedURL() const { return m_activeScopedURL; }
    WiFiTransport& wifiTransport() { return m_wifiTransport; }
    const QList<TransferEntry>& draggingRemoteEntries() const { return m_draggingRemoteEntries; }

    // Left pane: a folder of this computer. Paths may also be given as file:// URLs.
    Q_INVOKABLE void openSecurityScopedDirectory(const QString& path);
    Q_INVOKABLE void openLocalDirectory(const QString& path);
    Q_INVOKABLE void reloadLocalDirectory();
    // The same listing made on the thread pool, for refreshes the user did not ask for.
    QCoro::Task<void> reloadLocalDirectoryInBackground();
    Q_INVOKABLE void enterLocalDirectory(const QString& path);
    Q_INVOKABLE void navigateLocalTo(const QString& path);
    Q_INVOKABLE void goLocalBack();
    Q_INVOKABLE void goLocalRoot();
    // Folders first, then file-browser order (numeric, case-insensitive); stable.
    static void sortLocalEntries(QList<TransferEntry>& entries);
    // `path` itself, or the nearest folder above it that exists (a target not made yet).
    static QFileInfo nearestExisting(const QString& path);
    // A local path or file:// URL as one clean absolute path, without a trailing "/".
    static QString normalizedPath(const QString& pathOrUrl);

    // Adopts a connection the transport has just made: the phone becomes `device` and the right
    // pane starts over at the root.
    QCoro::Task<void> adoptConnection(DeviceInfo device, bool viaUSB);

    // Phones: discovery, connecting over WiFi or an iPhone's USB link, pairing, disconnecting.
    // None of these throws; failures land in the published error texts.
    Q_INVOKABLE void startWiFiBrowsing();
    QString connectionKindText() const;
    // True when the phone ends up connected. A phone that demands pairing opens the pairing
    // prompt instead; other failures land in wifiErrorMessage, and an earlier phone stays shown.
    QCoro::Task<bool> connectWiFiDevice(WiFiDeviceInfo info, std::optional<QString> pairingCode, bool viaUSB);
    QCoro::Task<void> submitPairingCode(QString code);
    Q_INVOKABLE void cancelPairing();
    Q_INVOKABLE void disconnectWiFi();
    // A phone named by address joins the list at once (as "HOST:PORT" until it names itself) and
    // is connected; once connected it is remembered across restarts.
    QCoro::Task<bool> connectByAddress(QString host, int port, std::optional<QString> pairingCode);
    // Removes a phone reached by address from the list and the settings; the connection, if
    // any, stays.
    Q_INVOKABLE void forgetPhone(const QString& id);
    // Android phones on a cable, through adb: the 2-second poll of attached devices (every third
    // poll also checks the tunnel's forward), connecting through a new forward, and repairing
    // the tunnel. Every adb run happens off the GUI thread, except removing a forward when a
    // connection ends.
    void startAdbWatching();
    QCoro::Task<bool> connectAndroidDevice(AdbBridge::Device device, std::optional<QString> pairingCode);
    // True when the tunnel is usable afterwards. At most one repair runs at a time; a repair asked
    // for meanwhile is false at once.
    QCoro::Task<bool> healAdbTunnel(bool force);
    // The bridge to use instead of the shared one (tests); before startAdbWatching.
    void setAdbBridge(AdbBridge& bridge) { m_adbBridge = &bridge; }
    const std::optional<QPair<QString, quint16>>& adbForward() const { return m_adbForward; }
    int adbHealthTick() const { return m_adbHealthTick; }
    bool isAdbPolling() const { return m_adbPollTimer != nullptr; }
    // For the views, which know phones by id.
    Q_INVOKABLE void requestConnectWiFiDevice(const QString& id, bool viaUSB);
    Q_INVOKABLE void requestConnectAndroidDevice(const QString& serial);
    Q_INVOKABLE void requestSubmitPairingCode(const QString& code);
    // False when `text` is not an address ("HOST:PORT" or "http://HOST:PORT").
    Q_INVOKABLE bool requestConnectAddress(const QString& text);

    // Right pane: the current folder of the phone's file cabin. loadRemoteDirectory never throws;
    // failures land in remoteErrorMessage. The navigation members start the listing and return it
    // already running; callers may await it or drop it.
    QCoro::Task<void> loadRemoteDirectory(QString path);
    QCoro::Task<void> enterRemoteDirectory(TransferEntry entry);
    QCoro::Task<void> goRemoteTo(QString path);
    QCoro::Task<void> goRemoteBack();
    QCoro::Task<void> goRemoteRoot();
    QCoro::Task<void> reloadRemote();
    // For the views, which know rows by id.
    Q_INVOKABLE void openRemoteEntry(const QString& entryId);
    Q_INVOKABLE void requestRemotePath(const QString& path);
    Q_INVOKABLE void requestRemoteBack();
    Q_INVOKABLE void requestRemoteRoot();
    Q_INVOKABLE void requestRemoteReload();

    // Remote file operations. None throws; every failure ends in remoteActionError.
    QCoro::Task<void> createRemoteFolder(QString name);
    QCoro::Task<void> renameRemoteEntry(TransferEntry entry, QString newName);
    QCoro::Task<void> deleteRemoteSelection();
    Q_INVOKABLE void stageRemoteSelection(bool cut);
    bool canPasteRemote() const { return m_canPasteRemote; }
    QCoro::Task<void> pasteRemoteEntries(QString directory);
    QCoro::Task<void> copyRemoteEntries(QList<TransferEntry> entries, QString directory);
    QCoro::Task<void> moveRemoteEntries(QList<TransferEntry> entries, QString directory);
    void beginRemoteDrag(const TransferEntry& entry);
    // The drop target takes the dragged entries; the list is empty afterwards.
    QList<TransferEntry> takeDraggingRemoteEntries();
    // For the views, which know rows by id.
    Q_INVOKABLE void requestCreateRemoteFolder(const QString& name);
    Q_INVOKABLE void requestRenameRemoteEntry(const QString& entryId, const QString& newName);
    Q_INVOKABLE void requestDeleteRemoteSelection();
    Q_INVOKABLE void requestPasteRemoteEntries(const QString& directory);
    Q_INVOKABLE void beginRemoteDrag(const QString& entryId);
    // Both false when no drag of phone entries is under way (the drop is refused).
    Q_INVOKABLE bool dropDraggedRemoteEntries(const QString& directory);
    Q_INVOKABLE bool pullDraggedRemoteEntries();

    // Transfers. Each request makes its task at once and queues the work; the queue runs one
    // transfer at a time, each verified by digests before the next starts.
    Q_INVOKABLE void pushSelected();
    Q_INVOKABLE void pullSelected();
    Q_INVOKABLE void pushURLs(const QStringList& paths);
    void pull(const QList<TransferEntry>& entries);
    Q_INVOKABLE void clearFinishedTasks();
    // Stops a waiting or running transfer: a waiting one never starts; a running one stops its
    // request at once, keeps nothing half-written on this computer and ends failed with "已取消".
    Q_INVOKABLE void cancelTask(const QString& taskId);
    // Every unfinished transfer, the waiting ones first (the command line on Ctrl+C).
    void cancelAllTasks();
    TransferQueue& transferQueue() { return m_transferQueue; }
    static constexpr int maxVerificationResults = 50;

    // A folder push, planned once (on the thread pool) when it is requested: the folder itself
    // first, then every item below it in archive order, with the Finder's "__MACOSX" leftovers
    // planned and marked (they travel only file by file); the total of the file sizes; and the
    // archive of that same walk.
    struct FolderPushPlan
    {
        QList<TarArchive::TarStreamSource::Entry> entries;
        qint64 total = 0;
        qsizetype hiddenLeftOut = 0;
        std::shared_ptr<TarArchive::TarStreamSource> archive;
    };
    // Relative paths with "/" between components, no leading "/".
    struct FolderPullPlan
    {
        struct File { QString remotePath; QString relativePath; qint64 size = 0; };
        QStringList dirs;
        QList<File> files;
        qint64 total = 0;
    };
    static FolderPushPlan planFolderPush(const QString& root);
    QCoro::Task<FolderPullPlan> planFolderPull(QString root);

signals:
    void deviceChanged();
    void localDirectoryChanged();
    void selectedLocalChanged();
    void localErrorMessageChanged();
    void selectedRemoteChanged();
    void remoteErrorMessageChanged();
    void verificationResultsChanged();
    // Each check as it is reported, for callers that act on the outcome rather than the text.
    void transferVerified(const QString& item, const VerifyOutcome& outcome);
    void wifiDevicesChanged();
    void isConnectingWiFiChanged();
    void wifiErrorMessageChanged();
    void wifiBrowseErrorChanged();
    void connectedViaUSBChanged();
    void pairingPromptChanged();
    void pairingErrorChanged();
    void adbDevicesChanged();
    void adbErrorMessageChanged();
    void adbUnavailableReasonChanged();
    void remoteActionErrorChanged();
    void remoteClipboardChanged();
    void remotePathChanged();
    void canPasteRemoteChanged();

private:
    bool restoreLocalDirectory();
    void clearLocalDirectory();
    void applyLocalListing(QList<TransferEntry> entries, const std::optional<QString>& failure);
    void setLocalDirectory(const std::optional<QString>& path);
    void setRemotePath(const QString& path);
    void updateCanPasteRemote();
    void setAddressedPhones(const QList<WiFiDeviceInfo>& phones);
    void refreshAdbDevices();
    void applyAdbPoll(const QList<AdbBridge::Device>& devices, bool forwardHealthy);
    void applyAdbPollFailure(const std::exception_ptr& failure);
    // Ends the forward a connection used: on the GUI thread, bounded by the tool's removal limit.
    void removeAdbForward();
    // Keeps a phone reached by address at the top of the list under the name it gave.
    void rememberAddressedPhone(const WiFiDeviceInfo& info, const QString& phoneName);
    // Shows the pairing sheet for a phone that demands its code.
    void askForPairingCode(const PairingPrompt& prompt);
    std::optional<TransferEntry> remoteEntryWithId(const QString& id) const;
    QList<TransferEntry> selectedRemoteEntries() const;
    // Copies (or moves) each entry into `directory`, collecting one failure line per entry.
    QCoro::Task<void> placeRemoteEntries(QList<TransferEntry> entries, QString directory, bool move);
    QCoro::Task<void> finishRemoteBatch(QStringList failures);

    // Transfers.
    using TransferOperation = std::function<QCoro::Task<void>(ProgressCallback)>;
    static void requireSafeEntryName(const QString& name);
    // Takes the transport's discovery reports (its list of phones, its failures) from now on.
    void listenToDiscovery();
    TransferTask* addTask(const QString& name, TransferTask::Direction direction, qint64 size);
    void enqueueTransfer(TransferTask* task, qint64 size, TransferOperation operation);
    // `session` is the transport's connection the transfer was requested for.
    QCoro::Task<void> run(QPointer<TransferTask> task, qint64 size, TransferOperation operation, quint64 session);
    // Fails when the running transfer was cancelled, or when the phone it is for is no longer the
    // connected one: nothing of it may reach a phone connected meanwhile.
    void requireTransferGoesOn() const;
    // Lists both panes again once transfers have changed them, coalesced while a batch runs.
    QCoro::Task<void> reloadPanesAfterTransfers();
    void pingIgnoringOutcome();
    void declareConnectionLost();
    // Fails when the target lacks room. Toward the phone its current figure is asked; toward this
    // computer the volume of `localTarget` (the open folder when not given) is checked.
    QCoro::Task<void> preflightSpace(qint64 needed, bool onDevice, QString itemName, QString localTarget = {});
    // This computer's side of preflightSpace, at once.
    void requireLocalSpace(qint64 needed, const QString& itemName, const QString& localTarget) const;
    void reportVerification(const VerifyOutcome& outcome, const QString& item);
    void pushFile(const TransferEntry& entry);
    void pullFile(const TransferEntry& entry);
    void pushDirectory(const TransferEntry& entry);
    void pullDirectory(const TransferEntry& entry);
    QCoro::Task<bool> tryPushFolderAsTar(std::shared_ptr<TarArchive::TarStreamSource> source, QString root,
                                         QString remoteDir, qint64 totalSize, ProgressCallback progress);
    QCoro::Task<void> pushFolderFileByFile(FolderPushPlan plan, QString remoteDir, ProgressCallback progress);
    // Creates each missing level; throws the phone's error for a level it neither made nor has.
    QCoro::Task<void> ensureRemoteDirectory(QString path);
    QCoro::Task<bool> remoteFolderExists(QString path);
    // Unpacks the phone's archive of the folder as it arrives; false when the phone has no
    // archive endpoint. `phoneTree` receives the phone's side of the check, `written` this
    // computer's (the digests of the files as they were written). A failure of the network is
    // tried once more; one of this computer's disk is not.
    QCoro::Task<bool> tryPullFolderAsTar(QString remoteRoot, QString into, QString itemName, ProgressCallback progress,
                                         std::optional<TransferVerification::PhoneTree>& phoneTree,
                                         QMap<QString, QString>& written);
    QCoro::Task<void> walkRemoteFolder(QString remotePath, QString relativePath, FolderPullPlan& plan);
    QCoro::Task<void> pullFolderFileByFile(FolderPullPlan plan, QString localTarget, ProgressCallback progress);

    template <typename T, typename Signal>
    void assign(T& field, const T& value, Signal changed)
    {
        if (field == value)
            return;
        field = value;
        emit(this->*changed)();
    }

    // Published fields, in the order the window's state is described.
    std::optional<DeviceInfo> m_device;
    std::optional<QString> m_localDirectory;
    EntryListModel m_localItems;
    QStringList m_selectedLocal;
    QString m_localErrorMessage;
    std::optional<QString> m_activeScopedURL;
    EntryListModel m_remoteItems;
    QStringList m_selectedRemote;
    QString m_remoteErrorMessage;
    TaskListModel m_tasks;
    TransferQueue m_transferQueue;
    QStringList m_verificationResults;
    QList<WiFiDeviceInfo> m_wifiDevices;
    QList<WiFiDeviceInfo> m_addressedPhones; // remembered ones and those named this session
    bool m_isConnectingWiFi = false;
    QString m_wifiErrorMessage;
    QString m_wifiBrowseError;
    bool m_connectedViaUSB = false;
    WiFiTransport m_wifiTransport;
    std::optional<PairingPrompt> m_pairingPrompt;
    QString m_pairingError;
    QList<AdbBridge::Device> m_adbDevices;
    QString m_adbErrorMessage;
    QString m_adbUnavailableReason;
    std::optional<QPair<QString, quint16>> m_adbForward;
    int m_adbHealthTick = 0;
    bool m_isHealingTunnel = false;
    AdbBridge* m_adbBridge = &AdbBridge::shared();
    std::unique_ptr<QTimer> m_adbPollTimer;
    bool m_adbPollRunning = false;
    // adb runs may each block for seconds: a pool of their own keeps them from starving the
    // hashing and listing work of the global pool.
    std::unique_ptr<QThreadPool> m_adbPool;
    QString m_remoteActionError;
    std::optional<RemoteClipboard> m_remoteClipboard;
    QList<TransferEntry> m_draggingRemoteEntries;
    QStringList m_localStack;
    QString m_remotePath = QStringLiteral("/");
    QStringList m_remoteStack;
    bool m_canPasteRemote = false;
    quint64 m_localListingGeneration = 0;
    std::optional<quint64> m_runningSession; // the phone connection of the transfer under way
    QPointer<TransferTask> m_runningTask;
    bool m_runningCancelled = false;
    bool m_panesOutdated = false;
    QElapsedTimer m_lastTransferReload;
};
