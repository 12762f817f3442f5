<?php
/*
 * Quorvane host-side sample: a PHP page that keeps the forwarded address of your server.
 *
 * Quorvane, running on the machine at home, calls this page with the address in the query
 * string, for example
 *
 *     StoreIP.php?IPAddress=203.0.113.7&UserID=joe&Password=secret&StartPage=/Demo/Default.htm
 *
 * or IPAddress=2001:db8::7 for an IPv6 address, and calls it with an empty address (IPAddress=) when the machine goes off line. A visitor who
 * opens the page without those pairs is sent on to the stored address and start page, or told
 * that the server is off line.
 *
 * Set it up:
 *   1. Put this file on your web host.
 *   2. Choose a user ID and password below (or in the server's environment as STOREIP_USER_ID
 *      and STOREIP_PASSWORD). Updates are refused until a password is set.
 *   3. Make sure the web server may write the data file (STOREIP_DATA_FILE; by default
 *      storeip.dat beside this page). Keep it out of the web folder if you can.
 *   4. In Quorvane's "HTTP Target" tab enter the page's URL, tick the User ID and Password pairs
 *      and fill in the same values.
 * The tags below must match the tags on that tab.
 */

function setting($name, $default) {
    $value = getenv($name);
    return $value === false ? $default : $value;
}

$USER_ID = setting('STOREIP_USER_ID', '');
$PASSWORD = setting('STOREIP_PASSWORD', '');
$DATA_FILE = setting('STOREIP_DATA_FILE', __DIR__ . '/storeip.dat');

const ADDRESS_TAG = 'IPAddress';
const USER_ID_TAG = 'UserID';
const PASSWORD_TAG = 'Password';
const START_PAGE_TAG = 'StartPage';

// A start page is a path on your server: printable characters without blanks, quotes or brackets.
const START_PAGE_RE = '~^/[A-Za-z0-9._\~!$&\'()*+,;=:@%/?#-]*$~';

function respond($status, $text, $location = null) {
    http_response_code((int) $status);
    header('Content-Type: text/html; charset=utf-8');
    header('Cache-Control: no-store');
    if ($location !== null) {
        header('Location: ' . $location);
    }
    echo "<!DOCTYPE html>\n<html><head><title>Quorvane</title></head><body>\n";
    echo '<p>' . $text . "</p>\n</body></html>\n";
    exit;
}

// The query pairs as the program sends them: a "+" is a plus sign, not a blank.
function parse_query($text) {
    $pairs = [];
    foreach (explode('&', $text) as $part) {
        if ($part === '') {
            continue;
        }
        $bits = explode('=', $part, 2);
        $name = rawurldecode($bits[0]);
        if (!array_key_exists($name, $pairs)) {
            $pairs[$name] = rawurldecode($bits[1] ?? '');
        }
    }
    return $pairs;
}

function normal_start_page($text) {
    $page = str_replace('\\', '/', $text);
    if (substr($page, 0, 1) !== '/') {
        $page = '/' . $page;
    }
    return preg_match(START_PAGE_RE, $page) ? $page : null;
}

function store($file, $address, $startPage) {
    if ($address === '') {
        if (file_exists($file)) {
            unlink($file);
        }
        return;
    }
    $temp = tempnam(dirname($file), '.storeip-');
    file_put_contents($temp, $address . "\n" . $startPage . "\n");
    rename($temp, $file);
}

$query = parse_query($_SERVER['QUERY_STRING'] ?? '');

if (array_key_exists(ADDRESS_TAG, $query)) {
    // The program's request: check the credentials, then store or clear the address.
    if ($PASSWORD === '') {
        respond('403 Forbidden', 'Updates are switched off: set a password in the page.');
    }
    $user = $query[USER_ID_TAG] ?? '';
    $password = $query[PASSWORD_TAG] ?? '';
    if (!hash_equals($USER_ID, $user) || !hash_equals($PASSWORD, $password)) {
        respond('403 Forbidden', 'Access denied.');
    }
    $address = $query[ADDRESS_TAG];
    // IPv4 or IPv6 (never with a zone index), kept in its standard text.
    if ($address !== '') {
        if (filter_var($address, FILTER_VALIDATE_IP) === false) {
            respond('400 Bad Request', 'That is not an IP address.');
        }
        $address = inet_ntop(inet_pton($address));
    }
    $startPage = normal_start_page($query[START_PAGE_TAG] ?? '/');
    if ($startPage === null) {
        respond('400 Bad Request', 'That is not a usable start page.');
    }
    store($DATA_FILE, $address, $startPage);
    respond('200 OK', $address !== '' ? 'Stored ' . htmlspecialchars($address) . '.'
                                       : 'The server is now off line.');
}

// A visitor: send them on to the stored address.
$lines = is_readable($DATA_FILE) ? file($DATA_FILE, FILE_IGNORE_NEW_LINES) : false;
if ($lines === false || count($lines) < 2 || $lines[0] === '') {
    respond('200 OK', 'The server is off line at the moment. Please try again later.');
}
$host = strpos($lines[0], ':') !== false ? '[' . $lines[0] . ']' : $lines[0];
$target = 'http://' . $host . $lines[1];
respond('302 Found', 'Your server is at <a href="' . htmlspecialchars($target) . '">'
                     . htmlspecialchars($target) . '</a>.', $target);
