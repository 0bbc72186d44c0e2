-- The edits that make wixl's build of release/quvara.wxs into the Quvara package: what
-- WiX source can say but wixl does not carry over. scripts/release.sh applies them in
-- this order with msibuild; @FILEVERSION@ is Quvara.exe's own version (the project's, with
-- a fourth 0).
-- Each statement ends with ";" at the end of a line; "--" lines say why.

-- Component conditions (wixl stops at <Condition> inside a Component). Weighed once, when
-- a component is first installed; not transitive, so a repair or a removal keeps to the
-- choice made then.
UPDATE Component SET Condition = 'PRINTER' WHERE Component = 'Settings';
UPDATE Component SET Condition = 'PRINTER' WHERE Component = 'FileTypes';
UPDATE Component SET Condition = 'NOTIFY = "1"' WHERE Component = 'Notify';

-- The extensions and MIME types are shared with other programs: never removed
-- (msidbComponentAttributesPermanent, 16, with the registry key path, 4).
UPDATE Component SET Attributes = 20 WHERE Component = 'FileTypes';

-- At removal the settings key and the two file types go whole, with whatever the setup
-- dialog added to them after a program-only install ("-": delete the key, with its values
-- and subkeys, when the component is removed). Root 2 is HKLM, 0 HKCR.
INSERT INTO Registry (`Registry`, `Root`, `Key`, `Name`, `Value`, `Component_`) VALUES ('RemoveSettings', 2, 'Software\Pellander\Quvara', '-', '', 'Program');
INSERT INTO Registry (`Registry`, `Root`, `Key`, `Name`, `Value`, `Component_`) VALUES ('RemoveZplType', 0, 'ZPLFile', '-', '', 'Program');
INSERT INTO Registry (`Registry`, `Root`, `Key`, `Name`, `Value`, `Component_`) VALUES ('RemoveEplType', 0, 'EPLFile', '-', '', 'Program');
-- The event source's key goes with the program, and only that key.
INSERT INTO Registry (`Registry`, `Root`, `Key`, `Name`, `Value`, `Component_`) VALUES ('RemoveEventSource', 2, 'SYSTEM\CurrentControlSet\Services\EventLog\Application\Quvara', '-', '', 'Program');

-- Reading back what is saved must come before CostFinalize, where the conditions above
-- are weighed (wixl puts "After AppSearch" actions late). In the UI sequence too, so a
-- full-UI repair or upgrade agrees with its execute sequence.
UPDATE InstallExecuteSequence SET Sequence = 55 WHERE Action = 'KeepSavedPrinter';
UPDATE InstallExecuteSequence SET Sequence = 56 WHERE Action = 'KeepSavedNotify';
UPDATE InstallExecuteSequence SET Sequence = 57 WHERE Action = 'KeepNotifyOff';
UPDATE InstallUISequence SET Sequence = 55 WHERE Action = 'KeepSavedPrinter';
UPDATE InstallUISequence SET Sequence = 56 WHERE Action = 'KeepSavedNotify';
UPDATE InstallUISequence SET Sequence = 57 WHERE Action = 'KeepNotifyOff';
UPDATE InstallExecuteSequence SET Sequence = 1001 WHERE Action = 'SetInstallLocation';
UPDATE InstallExecuteSequence SET Sequence = 1002 WHERE Action = 'SetHelpLink';

-- The earlier version is removed inside this install's transaction (right after
-- InstallInitialize; wixl puts it after InstallValidate, in a transaction of its own): an
-- upgrade that fails or is cancelled rolls the removal back, and the earlier Quvara and its
-- set-up stay. Reused files are copied again, as the removal took them.
UPDATE InstallExecuteSequence SET Sequence = 1501 WHERE Action = 'RemoveExistingProducts';

-- Plain property-setting actions (type 51), run in the installing user's session: wixl
-- adds a "no impersonation" flag that only means something for deferred actions.
UPDATE CustomAction SET Type = 51 WHERE Type = 2099;

-- A per-machine install runs its execute sequence as the system: it passes on only the
-- public properties listed here.
UPDATE Property SET Value = 'NOTIFY;PRINTER;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties';

-- Quvara.exe is a versioned file: Windows Installer compares its version, and keeps hashes
-- for unversioned files only. Language 2057 is English (United Kingdom), the exe's own.
UPDATE File SET Version = '@FILEVERSION@', Language = '2057' WHERE File = 'QuvaraExe';
DELETE FROM MsiFileHash WHERE File_ = 'QuvaraExe';

-- Long names need a short name beside them ("SHORT|Long"), which wixl leaves out.
UPDATE File SET FileName = 'QUVARA~1.HTM|Quvara guide.html' WHERE File = 'Guide';
UPDATE File SET FileName = 'SETUP-~1.PNG|setup-dialog.png' WHERE File = 'DialogPicture';
UPDATE File SET FileName = 'THIRD-~1.TXT|THIRD-PARTY-NOTICES.txt' WHERE File = 'Notices';
UPDATE File SET FileName = 'TEST-L~1.ZPL|test-label.zpl' WHERE File = 'TestZpl';
UPDATE File SET FileName = 'TEST-L~1.EPL|test-label.epl' WHERE File = 'TestEpl';
UPDATE File SET FileName = 'SHIPPI~1.ZPL|shipping-label.zpl' WHERE File = 'SampleZpl';
UPDATE File SET FileName = 'SHIPPI~1.EPL|shipping-label.epl' WHERE File = 'SampleEpl';

-- The event source's message file is REG_EXPAND_SZ, as Event Viewer expects it ("#%");
-- wixl writes a plain string for Type="expandable".
UPDATE Registry SET Value = '#%[#QuvaraExe]' WHERE Name = 'EventMessageFile';

-- EditFlags is binary 00 00 01 00 (the shell's FTA_OpenIsSafe), as the dialog writes it;
-- without "#x" Windows Installer writes the text "00000100".
UPDATE Registry SET Value = '#x00000100' WHERE Name = 'EditFlags';

-- Plain shortcuts to the installed files (wixl makes them advertised ones, pointing at the
-- feature), with short names beside the long ones.
UPDATE Shortcut SET Target = '[#QuvaraExe]', Name = 'QUVARA~1|Quvara setup' WHERE Shortcut = 'SetupShortcut';
UPDATE Shortcut SET Target = '[#Guide]', Name = 'QUVARA~2|Quvara guide' WHERE Shortcut = 'GuideShortcut';

-- The Start-menu folder goes with the program.
INSERT INTO RemoveFile (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) VALUES ('RemoveMenuDir', 'Program', '', 'MenuDir', 2);
