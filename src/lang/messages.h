#pragma once
// The messages of the language files, by name. Every message the code shows is named here, and a
// test checks that both language files have each of them. The numbers are the files' keys: they
// never change, and a new message gets a new number (added to MessageNumbers() too).

namespace varnel::Msg {

// VARNEL_MESSAGE(name, number), once per message.
#define VARNEL_MESSAGES(VARNEL_MESSAGE)                                                                      \
    VARNEL_MESSAGE(KindLister, 40)                                                                           \
    VARNEL_MESSAGE(KindPacker, 41)                                                                           \
    VARNEL_MESSAGE(KindFileSystem, 42)                                                                       \
    VARNEL_MESSAGE(KindContent, 43)                                                                          \
    VARNEL_MESSAGE(AppTitleVersion, 50)                                                                      \
    VARNEL_MESSAGE(AppTitle, 51)                                                                             \
    VARNEL_MESSAGE(VersionLine, 52)                                                                          \
    VARNEL_MESSAGE(HostFileMissing, 53)                                                                      \
    VARNEL_MESSAGE(NoPluginsOfKind, 55)                                                                      \
    VARNEL_MESSAGE(EnableFirst, 56)                                                                          \
    VARNEL_MESSAGE(ConfirmUninstall, 57)                                                                     \
    VARNEL_MESSAGE(ConfirmDisable, 58)                                                                       \
    VARNEL_MESSAGE(ConfirmInstall, 59)                                                                       \
    VARNEL_MESSAGE(ConfirmUninstallMany, 62)                                                                 \
    VARNEL_MESSAGE(Installed, 63)                                                                            \
    VARNEL_MESSAGE(ArchiveInstallFailed, 64)                                                                 \
    VARNEL_MESSAGE(RegisteredAlready, 68)                                                                    \
    VARNEL_MESSAGE(SettingsCannotOpen, 69)                                                                   \
    VARNEL_MESSAGE(SettingsFileMissing, 70)                                                                  \
    VARNEL_MESSAGE(AssociationHelp, 71)                                                                      \
    VARNEL_MESSAGE(PluginCount, 72)                                                                          \
    VARNEL_MESSAGE(PluginFunctionFailed, 73)                                                                 \
    VARNEL_MESSAGE(NotBesideProgram, 74)                                                                     \
    VARNEL_MESSAGE(ReportTitle, 80)                                                                          \
    VARNEL_MESSAGE(ReportHost, 81)                                                                           \
    VARNEL_MESSAGE(ReportSystem, 82)                                                                         \
    VARNEL_MESSAGE(ReportPluginBase, 83)                                                                     \
    VARNEL_MESSAGE(ReportListerGroup, 84)                                                                    \
    VARNEL_MESSAGE(ReportPackerGroup, 85)                                                                    \
    VARNEL_MESSAGE(ReportFileSystemGroup, 86)                                                                \
    VARNEL_MESSAGE(ReportContentGroup, 87)                                                                   \
    VARNEL_MESSAGE(ReportNotWritten, 89)                                                                     \
    VARNEL_MESSAGE(FileNotWritten, 91)                                                                       \
    VARNEL_MESSAGE(CannotStart, 92)                                                                          \
    VARNEL_MESSAGE(HostDidNotClose, 93)                                                                      \
    VARNEL_MESSAGE(HelperUnanswered, 94)                                                                     \
    VARNEL_MESSAGE(PrefixUnusable, 95)                                                                       \
    VARNEL_MESSAGE(NothingCouldOpen, 96)                                                                     \
    VARNEL_MESSAGE(HostStillRunning, 97)                                                                     \
    VARNEL_MESSAGE(Bits, 98)                                                                                 \
    VARNEL_MESSAGE(BitsWrongForHost, 99)                                                                     \
    VARNEL_MESSAGE(BitnessMismatch, 100)                                                                     \
    VARNEL_MESSAGE(FileNotFound, 101)                                                                        \
    VARNEL_MESSAGE(FsHasNoOrder, 104)                                                                        \
    VARNEL_MESSAGE(NotARegularFile, 107)                                                                     \
    VARNEL_MESSAGE(FileTooLarge, 108)                                                                        \
    VARNEL_MESSAGE(FileUnreadable, 109)                                                                      \
    VARNEL_MESSAGE(UnusableText, 110)                                                                        \
    VARNEL_MESSAGE(IniConflict, 111)                                                                         \
    VARNEL_MESSAGE(PleaseWait, 112)                                                                          \
    VARNEL_MESSAGE(ExtensionListed, 113)                                                                     \
    VARNEL_MESSAGE(NotAWholeNumber, 114)                                                                     \
    VARNEL_MESSAGE(RefreshTooOften, 115)                                                                     \
    VARNEL_MESSAGE(ArchiveEntryOutside, 116)                                                                 \
    VARNEL_MESSAGE(ArchiveTooLarge, 117)                                                                     \
    VARNEL_MESSAGE(ArchiverWroteOutside, 118)                                                                \
    VARNEL_MESSAGE(ArchiveNoPlugin, 119)                                                                     \
    VARNEL_MESSAGE(ArchiveLinkEntry, 120)                                                                    \
    VARNEL_MESSAGE(RefreshOutOfRange, 121)                                                                   \
    VARNEL_MESSAGE(ProgramPathUnusable, 122)                                                                 \
    VARNEL_MESSAGE(PluginCountOne, 123)                                                                      \
    VARNEL_MESSAGE(BarButtonsAdded, 124)                                                                     \
    VARNEL_MESSAGE(BarNotWritten, 125)                                                                       \
    VARNEL_MESSAGE(HistChanged, 126)                                                                         \
    VARNEL_MESSAGE(HistInstalled, 127)                                                                       \
    VARNEL_MESSAGE(HistInstalledFrom, 128)                                                                   \
    VARNEL_MESSAGE(HistUninstalled, 129)                                                                     \
    VARNEL_MESSAGE(HistDisabled, 130)                                                                        \
    VARNEL_MESSAGE(HistEnabled, 131)                                                                         \
    VARNEL_MESSAGE(HistRenamed, 132)                                                                         \
    VARNEL_MESSAGE(HistOrder, 133)                                                                           \
    VARNEL_MESSAGE(HistPackerFlags, 134)                                                                     \
    VARNEL_MESSAGE(HistDescription, 135)                                                                     \
    VARNEL_MESSAGE(HistBarButtons, 136)                                                                      \
    VARNEL_MESSAGE(HistUndid, 137)                                                                           \
    VARNEL_MESSAGE(NothingToUndo, 138)                                                                       \
    VARNEL_MESSAGE(HistRepaired, 139)                                                                        \
    VARNEL_MESSAGE(HistoryRecordDamaged, 140)                                                                \
    VARNEL_MESSAGE(CannotConfigureHere, 141)                                                                 \
    VARNEL_MESSAGE(CannotLoadForSettings, 142)                                                               \
    VARNEL_MESSAGE(OutsidePluginFolders, 143)                                                                \
    VARNEL_MESSAGE(ReplaceDifferentFile, 144)                                                                \
    VARNEL_MESSAGE(DetectTooDeep, 145)                                                                       \
    VARNEL_MESSAGE(HistoryNotWritten, 146)                                                                   \
    VARNEL_MESSAGE(HistTooLargeToKeep, 148)                                                                  \
    VARNEL_MESSAGE(CopyThroughLink, 149)                                                                     \
    VARNEL_MESSAGE(DetectOperandMissing, 150)                                                                \
    VARNEL_MESSAGE(DetectBracketMissing, 151)                                                                \
    VARNEL_MESSAGE(DetectUnknownWord, 152)                                                                   \
    VARNEL_MESSAGE(DetectStringOpen, 153)                                                                    \
    VARNEL_MESSAGE(DetectByteNumber, 154)                                                                    \
    VARNEL_MESSAGE(DetectUnexpected, 155)                                                                    \
    VARNEL_MESSAGE(DetectFindArgument, 156)                                                                  \
    VARNEL_MESSAGE(DetectTrailing, 157)                                                                      \
    VARNEL_MESSAGE(ErrorAtCharacter, 158)                                                                    \
    VARNEL_MESSAGE(DetectHelp, 159)                                                                          \
    VARNEL_MESSAGE(CheckModuleMissing, 160)                                                                  \
    VARNEL_MESSAGE(CheckWrongBitness, 161)                                                                   \
    VARNEL_MESSAGE(CheckRegisteredTwice, 162)                                                                \
    VARNEL_MESSAGE(CheckPackerModuleMissing, 163)                                                            \
    VARNEL_MESSAGE(CheckKeyWithoutPlugin, 164)                                                               \
    VARNEL_MESSAGE(CheckDisabledModuleMissing, 165)                                                          \
    VARNEL_MESSAGE(CheckArchiveLeftover, 166)                                                                \
    VARNEL_MESSAGE(CheckUnregisteredModule, 167)                                                             \
    VARNEL_MESSAGE(CheckDetectUnparsable, 168)                                                               \
    VARNEL_MESSAGE(RepairRemoveRegistration, 170)                                                            \
    VARNEL_MESSAGE(RepairDisable, 171)                                                                       \
    VARNEL_MESSAGE(RepairRemoveSecond, 172)                                                                  \
    VARNEL_MESSAGE(RepairRemoveExtensions, 173)                                                              \
    VARNEL_MESSAGE(RepairRemoveKey, 174)                                                                     \
    VARNEL_MESSAGE(RepairRemoveDisabled, 175)                                                                \
    VARNEL_MESSAGE(RepairDeleteFolder, 176)                                                                  \
    VARNEL_MESSAGE(RepairInstall, 177)                                                                       \
    VARNEL_MESSAGE(RepairRename, 178)                                                                        \
    VARNEL_MESSAGE(CheckNothingWrong, 179)                                                                   \
    VARNEL_MESSAGE(CheckProblems, 180)                                                                       \
    VARNEL_MESSAGE(FsNameTaken, 181)                                                                         \
    VARNEL_MESSAGE(ConfirmDisableMany, 182)                                                                  \
    VARNEL_MESSAGE(CheckOneProblem, 183)                                                                     \
    VARNEL_MESSAGE(IniMadeByFirstChange, 190)                                                                \
    VARNEL_MESSAGE(NoTemporaryReportFile, 191)                                                               \
    VARNEL_MESSAGE(EnabledAlready, 192)                                                                      \
    VARNEL_MESSAGE(DisabledAlready, 193)                                                                     \
    VARNEL_MESSAGE(AnswerWithYes, 194)                                                                       \
    VARNEL_MESSAGE(NoEnabledPluginOfKind, 195)                                                               \
    VARNEL_MESSAGE(TweakSyntax, 196)                                                                         \
    VARNEL_MESSAGE(ExtensionNotRegistered, 197)                                                              \
    VARNEL_MESSAGE(NoPluginCalled, 198)                                                                      \
    VARNEL_MESSAGE(NameAmbiguous, 199)                                                                       \
    VARNEL_MESSAGE(OptionNeeded, 200)                                                                        \
    VARNEL_MESSAGE(AnswerWithForce, 201)                                                                     \
    VARNEL_MESSAGE(WithHistoryId, 202)                                                                       \
    VARNEL_MESSAGE(StdoutNotWritten, 203)                                                                    \
    VARNEL_MESSAGE(StoppedByCtrlC, 204)                                                                      \
    VARNEL_MESSAGE(KindOptionValues, 205)                                                                    \
    VARNEL_MESSAGE(ColumnsOptionValues, 206)                                                                 \
    VARNEL_MESSAGE(ModeOptionValues, 207)                                                                    \
    VARNEL_MESSAGE(UndoCountTooSmall, 208)                                                                   \
    VARNEL_MESSAGE(NoSuchFinding, 209)                                                                       \
    VARNEL_MESSAGE(TweakNeedsPair, 210)                                                                      \
    VARNEL_MESSAGE(NothingRegisteredWithoutAnswer, 211)                                                      \
    VARNEL_MESSAGE(UndoAction, 212)                                                                          \
    VARNEL_MESSAGE(ConfirmUndoMany, 213)                                                                     \
    VARNEL_MESSAGE(DryRunNotAvailable, 214)                                                                  \
    VARNEL_MESSAGE(DryRunWouldWrite, 215)                                                                    \
    VARNEL_MESSAGE(DryRunRemoved, 216)                                                                       \
    VARNEL_MESSAGE(DryRunNothing, 217)                                                                       \
    VARNEL_MESSAGE(RedoAction, 218)                                                                          \
    VARNEL_MESSAGE(AnswerWithReplace, 219)                                                                   \
    VARNEL_MESSAGE(PackerExtensionsTaken, 220)                                                               \
    VARNEL_MESSAGE(DryRunWouldRemove, 221)

enum Id : int {
#define VARNEL_MESSAGE_ENUM(name, number) name = number,
    VARNEL_MESSAGES(VARNEL_MESSAGE_ENUM)
#undef VARNEL_MESSAGE_ENUM
};

} // namespace varnel::Msg
