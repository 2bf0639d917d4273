# Sourced by the scripts that build: the build trees belong to whoever owns the checkout.
# Run as root (sudo, or a root shell) in a checkout that belongs to a user, a script installs what
# is missing as root and then goes on as that user, so that no build tree in the checkout ends up
# owned by root.
#
#   . "$root/scripts/owner.sh"; continue_as_checkout_owner "$0" "$@"

continue_as_checkout_owner() {
  local owner
  owner=$(stat -c %U "$root")
  if [ "$(id -u)" = 0 ] && [ "$owner" != root ] && [ "$owner" != UNKNOWN ]; then
    # trees that an earlier run as root left behind go back to the owner
    local tree
    for tree in "$root"/build*; do
      [ -e "$tree" ] && chown -R "$owner": "$tree"
    done
    # runuser keeps the environment (SERVTRAN_*, DISPLAY) but for HOME, SHELL, USER and LOGNAME
    exec runuser -u "$owner" -- "$@"
  fi
}
