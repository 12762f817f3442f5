<?php
/*
 * Quorvane host-side sample: an echo page, a PHP page that replies with the caller's address.
 *
 * Quorvane, running on a machine behind a home router, can read its public address from a page
 * like this one: the reply is the address the request came from, as plain text and nothing
 * else, for example
 *
 *     203.0.113.7
 *
 * Set it up: put this file on your web host and enter its URL as the echo page URL in
 * Quorvane's "HTTP Target" tab. Behind a proxy or load balancer the web server must pass the
 * caller's own address on as REMOTE_ADDR; the page never trusts headers such as
 * X-Forwarded-For, which any caller can set.
 */
header('Content-Type: text/plain; charset=us-ascii');
header('Cache-Control: no-store');
echo ($_SERVER['REMOTE_ADDR'] ?? ''), "\n";
