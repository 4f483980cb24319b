"""The system report under each Windows version that Wine can pretend to be.

Every profile first asks zvprobe.exe what Wine answers under that version,
so that a change in Wine shows as "Wine now reports ..." rather than as a
puzzling report line. The nine report lines below were worked out by hand
from the classification rules for exactly those answers; the framework is
present in every profile, so no installer is started.
"""

import unittest
from typing import Dict, List, NamedTuple, Optional

from winelab import NETFX35_KEY, LabTestCase, closing, entry, opening


class Profile(NamedTuple):
    version: Optional[str]    # Wine's AppDefaults Version; None: the prefix's default
    facts: Dict[str, str]     # what zvprobe.exe must report
    report: List[str]         # the nine report lines


def facts(major, minor, build, platform, csd, sp, suite, product_type, product_info):
    return {'extended_ok': '1', 'major': str(major), 'minor': str(minor), 'build': str(build),
            'platform': str(platform), 'csd_hex': csd.encode('latin-1').hex(),
            'sp_major': str(sp[0]), 'sp_minor': str(sp[1]), 'suite': '0x%04x' % suite,
            'product_type': str(product_type), 'product_info': str(product_info),
            'arch': '9', 'serverr2': '0'}


def report(product, edition, platform, major, minor, build, service_pack, sp):
    return [product, edition,
            'Platform type    : ' + platform,
            'Architecture     : 64-bit',
            'Major version    : %d' % major,
            'Minor version    : %d' % minor,
            'Build number     : %d' % build,
            'Service Pack info: ' + service_pack,
            'SP (major.minor) : %d.%d' % sp]


# What Wine 8.0 answers, and what the program must make of it. Notes on the
# less obvious rows:
# - Wine 8.0 has win7 and win2008r2 the wrong way round (win7 answers as a
#   server, win2008r2 as a workstation); the program reports what it is told.
# - GetProductInfo answers 28 for workstations: above 25, so the edition
#   stays unknown; 7 for servers gives edition 11.
# - nt40 says "Service Pack 6a" itself; only "Service Pack 6" leads to the
#   hotfix test, so the plain service-pack text stands.
# - win98's build number 0x040A08AE prints whole (67766446) in the build line
#   but as its low 16 bits (2222) in the service-pack text; its service-pack
#   string " A " has its letter after a blank: Windows 98 SE.
# - win95's build 0x040003B6 gives 950; its empty service-pack string leaves
#   the text starting with the blank before "(Build".
PROFILES = [
    Profile(None,
            facts(6, 1, 7601, 2, 'Service Pack 1', (1, 0), 0x0, 1, 28),
            report('Windows 7', 'Edition unknown Edition', 'NT', 6, 1, 7601,
                   'Service Pack 1 (Build 7601)', (1, 0))),
    Profile('winxp',
            facts(5, 1, 2600, 2, 'Service Pack 3', (3, 0), 0x100, 1, 0),
            report('Windows XP', 'Professional Edition', 'NT', 5, 1, 2600,
                   'Service Pack 3 (Build 2600)', (3, 0))),
    Profile('win2003',
            facts(5, 2, 3790, 2, 'Service Pack 2', (2, 0), 0x100, 3, 0),
            report('Windows Server 2003', 'Standard Server Edition', 'NT', 5, 2, 3790,
                   'Service Pack 2 (Build 3790)', (2, 0))),
    Profile('vista',
            facts(6, 0, 6002, 2, 'Service Pack 2', (2, 0), 0x100, 1, 28),
            report('Windows Vista', 'Edition unknown Edition', 'NT', 6, 0, 6002,
                   'Service Pack 2 (Build 6002)', (2, 0))),
    Profile('win2008',
            facts(6, 0, 6002, 2, 'Service Pack 2', (2, 0), 0x100, 3, 7),
            report('Windows Server 2008', 'Standard Server Edition', 'NT', 6, 0, 6002,
                   'Service Pack 2 (Build 6002)', (2, 0))),
    Profile('win7',
            facts(6, 1, 7601, 2, 'Service Pack 1', (1, 0), 0x100, 3, 7),
            report('Windows Server 2008 R2', 'Standard Server Edition', 'NT', 6, 1, 7601,
                   'Service Pack 1 (Build 7601)', (1, 0))),
    Profile('win2008r2',
            facts(6, 1, 7601, 2, 'Service Pack 1', (1, 0), 0x100, 1, 28),
            report('Windows 7', 'Edition unknown Edition', 'NT', 6, 1, 7601,
                   'Service Pack 1 (Build 7601)', (1, 0))),
    Profile('nt40',
            facts(4, 0, 1381, 2, 'Service Pack 6a', (6, 0), 0x0, 1, 0),
            report('Windows NT 4.0', 'Workstation Edition', 'NT', 4, 0, 1381,
                   'Service Pack 6a (Build 1381)', (6, 0))),
    Profile('win2k',
            facts(5, 0, 2195, 2, 'Service Pack 4', (4, 0), 0x0, 1, 0),
            report('Windows 2000', 'Professional Edition', 'NT', 5, 0, 2195,
                   'Service Pack 4 (Build 2195)', (4, 0))),
    Profile('win98',
            facts(4, 10, 67766446, 1, ' A ', (0, 0), 0x0, 0, 0),
            report('Windows 98 SE', 'Edition unknown Edition', 'Windows', 4, 10, 67766446,
                   ' A  (Build 2222)', (0, 0))),
    Profile('win95',
            facts(4, 0, 67109814, 1, '', (0, 0), 0x0, 0, 0),
            report('Windows 95', 'Edition unknown Edition', 'Windows', 4, 0, 67109814,
                   ' (Build 950)', (0, 0))),
]

# The report of a case that sets no version.
DEFAULT_REPORT = next(p.report for p in PROFILES if p.version is None)

ALREADY_INSTALLED = 'The .NET Framework 3.5 is already installed.'
CLOSE_VERDICT = 'You may close me now.'
STARTED = '---------- Zelvantorix started ----------'
FINISHED = '---------- Finished ----------'


def present_console(report_lines):
    return report_lines + ['', ALREADY_INSTALLED, '', CLOSE_VERDICT, '']


def report_block(report_lines):
    return ([entry(0, STARTED), opening(0), entry(2, '--- System Information ---')]
            + [entry(2, line) for line in report_lines]
            + [entry(2, ''), closing(0)])


def present_log(report_lines):
    return report_block(report_lines) + [entry(0, ALREADY_INSTALLED), entry(0, CLOSE_VERDICT),
                                         entry(0, FINISHED)]


class Profiles(LabTestCase):
    def check_profile(self, profile: Profile) -> None:
        case = self.new_case()
        if profile.version is not None:
            case.set_version(profile.version)
        case.reg_dword(NETFX35_KEY, 'SP', 1)

        seen = case.probe()
        self.assertEqual(seen.get('cwd'), 'C:\\deploy', 'the lab ran the probe elsewhere')
        changed = ['Wine now reports %s=%r under %s (the table assumes %r)'
                   % (key, seen.get(key), profile.version or 'the default version', want)
                   for key, want in profile.facts.items() if seen.get(key) != want]
        if changed:
            self.fail('\n'.join(changed) + '\nall answers: %r' % seen)

        result = case.run()
        self.assertEqual(result.exit_code, 0, result.describe())
        self.assertConsole(result, present_console(profile.report))
        self.assertLogRun(result.log, present_log(profile.report), result)


def _profile_test(profile):
    def test(self):
        self.check_profile(profile)
    return test


for _profile in PROFILES:
    setattr(Profiles, 'test_%s' % (_profile.version or 'default'), _profile_test(_profile))


if __name__ == '__main__':
    unittest.main()
