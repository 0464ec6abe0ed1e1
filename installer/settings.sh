#!/usr/bin/env bash
# Adds to the package wixl built what wixl 0.101 cannot say about the settings at install
# (see pacewick.wxs): msibuild (Debian package msitools) writes the rows.
#   settings.sh PACKAGE.msi
set -euo pipefail
msi=$1
queries=()
# refuse ACTION CONDITION MESSAGE: the install stops with MESSAGE when CONDITION holds. An
# error action (type 19) rather than a launch condition: Windows logs either's message, but
# Wine's msiexec, quiet, logs only an action's text (ActionText), never a launch condition's.
# They run after AppSearch (50) and before the kept values are set: they judge only what the
# command line gave.
queries+=(-q "CREATE TABLE \`ActionText\` (\`Action\` CHAR(72) NOT NULL, \`Description\` CHAR(0) LOCALIZABLE,
              \`Template\` CHAR(0) LOCALIZABLE PRIMARY KEY \`Action\`)")
sequence=60
refuse() {
  queries+=(-q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Target\`) VALUES ('$1', 19, '$3')"
            -q "INSERT INTO \`ActionText\` (\`Action\`, \`Description\`) VALUES ('$1', '$3')"
            -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`)
                VALUES ('$1', '$2', $sequence)")
  sequence=$((sequence + 1))
}
# A value that is no whole number ("abc", "2.5") compares as text, and text is never greater
# or less than a number: only 1 to 30 passes.
refuse RefuseDelay 'DELAY AND NOT (DELAY >= 1 AND DELAY <= 30)' \
  'Pacewick was not installed: DELAY must be a whole number of minutes from 1 to 30.'
refuse RefuseStartWhenReady 'STARTWHENREADY AND STARTWHENREADY <> "0" AND STARTWHENREADY <> "1"' \
  'Pacewick was not installed: STARTWHENREADY must be 0 or 1.'
refuse RefuseManual 'MANUAL AND MANUAL <> "0" AND MANUAL <> "1"' \
  'Pacewick was not installed: MANUAL must be 0 or 1.'
sequence=110
# keep PROPERTY COMPONENT FIRST LAST: the component that writes the property's value is
# installed only when the property is set; a value read back as "#n" (n from FIRST to LAST)
# sets the property to n when the command line leaves it out. Any other kept value is left out.
# The condition is judged again at each repair (Attributes 324: 64-bit 256, registry key path 4,
# transitive 64), so that a repair can add a value not given at install.
keep() {
  local property=$1 component=$2 n
  queries+=(-q "UPDATE \`Component\` SET \`Condition\` = '$property', \`Attributes\` = 324
                WHERE \`Component\` = '$component'")
  for ((n = $3; n <= $4; n++)); do
    queries+=(-q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`)
                  VALUES ('Kept_$property$n', 51, '$property', '$n')"
              -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`)
                  VALUES ('Kept_$property$n', 'NOT $property AND Kept_$property = \"#$n\"', $sequence)")
    sequence=$((sequence + 1))
  done
}
keep DELAY DefaultDelay 1 30
keep STARTWHENREADY DefaultStartWhenReady 0 1
keep MANUAL DefaultManual 0 1
# The properties pass from the command line to the installing service however the
# install is started (wixl's own two kept first).
queries+=(-q "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;DELAY;STARTWHENREADY;MANUAL'
              WHERE \`Property\` = 'SecureCustomProperties'")
msibuild "$msi" "${queries[@]}"
