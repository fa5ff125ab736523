// The product constants compiled into the setup program.
#pragma once

namespace setup {

constexpr char kApplicationTitle[] = "Setup";
constexpr char kProductVersion[] = "8.9.1";
// The product's name as written, where no translation may change it.
constexpr char kProductName[] = "Orvik Mail Server";

// The product key under HKEY_LOCAL_MACHINE: "Version", "InstallDir" and the
// component flags.
constexpr char kProductKeyArea[] = "\\Software\\Kestrun";
constexpr char kProductKeySection[] = "Orvik Mail Server";
// A separately installed web mail client.
constexpr char kWebMailKeySection[] = "Kestrun Web Mail";

// Files beside the program.
constexpr char kPackageArchive[] = "setup.Dat";
constexpr char kLicenceText[] = "license.txt";
constexpr char kProductDescription[] = "info.xml";
constexpr char kTranslationFile[] = "setup.lng";
// The setup log below the installation folder, kept by installs and uninstalls.
constexpr char kSetupLogFile[] = "logs\\\\setup\\setup.log";

constexpr char kDefaultProgramFolder[] = "C:\\Program Files\\";
constexpr char kDefaultDestinationLeaf[] = "Orvik\\";

}  // namespace setup
