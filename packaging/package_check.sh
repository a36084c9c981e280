#!/usr/bin/env bash
# Makes the Debian package from a build and tries it in a throwaway root:
# installs it with apt, runs the bundled example from the installed copy as
# a user other than root, converts its log, purges the package, and compares
# the files of the system before the install and after the purge.
#
# Usage (as root): packaging/package_check.sh [build folder, default build]
#
# The throwaway root is an overlay over / in private mount, PID and network
# namespaces, entered with pivot_root: whatever the package writes lands in the overlay's upper
# folder and is gone afterwards; the machine's own packages, registry hive
# and ports are never touched (its proxy listens on a loopback of its own).
# Exit status 0 when every step did what it should.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
checker=quorvane-check

if [ "${QUORVANE_PACKAGE_CHECK_INSIDE:-}" != 1 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "package_check: needs root (namespaces, mounts)" >&2; exit 2; }
  rm -rf "$build/package"
  cpack -G DEB --config "$build/CPackConfig.cmake" >"$build/cpack.log" 2>&1 ||
    { cat "$build/cpack.log" >&2; echo "package_check: cpack failed" >&2; exit 1; }
  deb=$(ls "$build"/package/quorvane_*.deb)
  echo "package_check: made $deb ($(du -k "$deb" | cut -f1) KiB)"
  dpkg-deb --field "$deb" Package Version Depends Recommends
  scratch=$(mktemp -d /tmp/quorvane-package-check.XXXXXX)
  code=0
  QUORVANE_PACKAGE_CHECK_INSIDE=1 QUORVANE_PACKAGE_DEB="$deb" QUORVANE_PACKAGE_SCRATCH="$scratch" \
    unshare --mount --propagation private --net --pid --fork "$0" "$build" || code=$?
  rmdir "$scratch"
  exit "$code"
fi

# --- in the namespaces (all of it goes when they end): the throwaway root ---
deb=$QUORVANE_PACKAGE_DEB
scratch=$QUORVANE_PACKAGE_SCRATCH
mount -t tmpfs tmpfs "$scratch"
mkdir "$scratch/upper" "$scratch/work" "$scratch/root"
root=$scratch/root
upper=$scratch/upper
mount -t overlay overlay -o "lowerdir=/,upperdir=$upper,workdir=$scratch/work" "$root"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t tmpfs tmpfs "$root/dev/shm"
mount -t tmpfs tmpfs "$root/tmp"
mount -t tmpfs tmpfs "$root/run"
mount -t sysfs sysfs "$root/sys" 2>/dev/null || true
ip link set lo up
mkdir -p "$root/tmp/package" "$root/run/quorvane-upper" "$root/run/quorvane-host"
cp "$deb" "$root/tmp/package/"
deb_inside=/tmp/package/$(basename "$deb")
# Into the throwaway root by pivot_root, not chroot: in a chroot the
# browser cannot make the user namespace of its sandbox. The upper folder
# and the machine's own / stay in view below /run.
mount --bind "$upper" "$root/run/quorvane-upper"
cd "$root"
pivot_root . run/quorvane-host
cd /
upper=/run/quorvane-upper
host=/run/quorvane-host

in_root() { env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

# What the system holds beyond the original /: from the overlay's upper
# folder every file (written, or a whiteout, a character device, for one
# removed) and every folder that / lacks; less the package manager's own
# records and logs and the checking user's home.
system_changes() {
  (cd "$upper" && find . -mindepth 1 -printf '%y %p\n') |
    grep -Ev "^. \./(var/lib/dpkg|var/lib/apt|var/cache|var/log|home/$checker|tmp|run|root/\.cache)(/|$)" |
    while read -r type path; do
      if [ "$type" != d ] || [ ! -e "$host/${path#./}" ]; then echo "$type ${path#.}"; fi
    done | sort
}

in_root useradd --create-home --shell /bin/bash "$checker"
# The throwaway root starts as a machine where Quorvane was never
# registered: a development build on this machine may have written the
# machine hive that the package's purge removes.
in_root rm -rf /var/lib/quorvane
before=$(system_changes)

echo "package_check: apt install ./$(basename "$deb")"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb_inside" >/tmp/apt.log 2>&1 ||
  { cat /tmp/apt.log >&2; echo "package_check: install failed" >&2; exit 1; }
installed_files=$(in_root dpkg -L quorvane | wc -l)
while_installed=$(system_changes)
echo "package_check: installed, $installed_files paths; system files now: $(echo "$while_installed" | grep -c .), among them:"
echo "$while_installed" | grep -E "/(etc/quorvane|var/lib/quorvane)" | sed 's/^/  /'
echo "package_check: registered:"
in_root /usr/lib/quorvane/reg query 'HKLM\Software\Classes\CLSID\{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}\InprocServer32'

# The example, as a user other than root, from the installed copy on the
# PATH; one of its two tests fails on purpose, so it exits with 1.
echo "package_check: running the example as $checker"
status=0
in_root runuser -u "$checker" -- env -i PATH=/usr/bin:/bin HOME="/home/$checker" LANG=C.UTF-8 bash -c '
  cd "$HOME"
  code=0
  Quorvane /usr/share/quorvane/examples/login.js -s login.example.test -b chromium --log "$HOME/login.log" || code=$?
  echo "exit status $code"
  [ "$code" -eq 1 ] || exit 1
  Quorvane --mode=convert -i login.log -o login-report.xml && grep -q "A wrong password is refused" login-report.xml &&
    echo "report: $HOME/login-report.xml"' || status=$?
# The run's proxy and guard end some seconds after it.
for _ in $(seq 1 60); do
  in_root pgrep -u "$checker" >/dev/null || break
  sleep 1
done
if [ "$status" -ne 0 ]; then echo "package_check: the example failed as $checker" >&2; exit 1; fi

echo "package_check: apt purge quorvane"
in_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q quorvane >/tmp/apt.log 2>&1 ||
  { cat /tmp/apt.log >&2; echo "package_check: purge failed" >&2; exit 1; }
after=$(system_changes)
lists=$host$build/package
echo "$before" >"$lists/system-before.txt"
echo "$while_installed" >"$lists/system-installed.txt"
echo "$after" >"$lists/system-after.txt"
left=$(comm -13 <(echo "$before") <(echo "$after"))
gone=$(comm -23 <(echo "$before") <(echo "$after"))
echo "package_check: system files before the install: $(echo "$before" | grep -c . || true), after the purge: $(echo "$after" | grep -c . || true) (lists in $build/package/system-*.txt)"
if [ -n "$left$gone" ]; then
  echo "package_check: the purge left the system changed:" >&2
  [ -z "$left" ] || echo "$left" | sed 's/^/  left: /' >&2
  [ -z "$gone" ] || echo "$gone" | sed 's/^/  gone: /' >&2
  exit 1
fi
echo "package_check: passed: installed, ran the example as $checker, purged without a trace"
